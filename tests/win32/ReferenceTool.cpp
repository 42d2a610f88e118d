// What the Linux build makes of the same bytes as the Windows window, for the window tests under Wine to
// compare with: the file that Output writes after a download, and the bytes that an upload sends.
//   kestrion-win32-reference download RECORDS MARKER SEED STREAM CHOSEN
//       the stream that `kestrion-station send --marker MARKER --seed SEED RECORDS` sends (into STREAM),
//       received in the station's own writes and output at CHOSEN; prints the written file's path
//   kestrion-win32-reference upload SOURCE ROAD SENT
//       the bytes that Upload sends for road ROAD (-1: no road selected) of SOURCE, closing line included
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "Send.h"
#include "StationOptions.h"
#include "download/Output.h"
#include "download/Reception.h"
#include "serial/Framing.h"
#include "upload/UploadSource.h"
#include "upload/UploadWorker.h"

namespace {

using namespace kestrion;

std::optional<std::string> ReadFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

bool WriteFile(const char* path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int Download(const char* records, const char* marker, const char* seed, const char* streamPath,
             const char* chosen) {
  const std::optional<std::string> file = ReadFile(records);
  if (!file || std::string_view(marker).size() != 1) return 2;
  station::SendOptions options;
  options.marker = marker[0];
  options.seed = static_cast<std::uint32_t>(std::stoul(seed));
  const station::StreamBuild built = station::BuildSendStream(*file, options);
  if (!built.stream) {
    std::cerr << built.error << "\n";
    return 2;
  }
  const std::string& stream = built.stream->bytes;
  if (!WriteFile(streamPath, stream)) return 2;

  // The window's polls each take what has arrived; with one marker in the stream, where the reads cut it does
  // not change the text, so the station's writes stand for them.
  CString data;
  CString lastMarker;
  Reception reception;
  std::size_t at = 0;
  for (const std::size_t size : station::WriteSizes(stream.size(), options.seed)) {
    reception.Step(data, lastMarker, CString(std::string_view(stream).substr(at, size)));
    at += size;
  }
  const WriteResult written = OutputData(data, lastMarker, chosen);
  if (!written) {
    std::cerr << "output failed: " << written.Reason() << "\n";
    return 1;
  }
  std::cout << written.path.string() << "\n";
  return 0;
}

int Upload(const char* sourcePath, const char* road, const char* sentPath) {
  UploadSource source;
  const LoadResult loaded = LoadUploadSource(sourcePath, source);
  if (!loaded.opened || loaded.readError || loaded.tooBig) return 2;
  const int roadIndex = std::stoi(road);
  std::optional<int> selected;
  if (roadIndex >= 0) selected = roadIndex;
  CStringArray lines;
  PrepareUploadLines(TextToUpload(selected, source.roadData, source.data), lines);
  std::string sent;
  for (int i = 0; i < lines.GetSize(); ++i) sent += LineForSending(lines[i]).Bytes();
  return WriteFile(sentPath, sent) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "download" && argc == 7) return Download(argv[2], argv[3], argv[4], argv[5], argv[6]);
  if (command == "upload" && argc == 5) return Upload(argv[2], argv[3], argv[4]);
  std::fprintf(stderr,
               "usage: kestrion-win32-reference download RECORDS MARKER SEED STREAM CHOSEN\n"
               "       kestrion-win32-reference upload SOURCE ROAD SENT\n");
  return 2;
}
