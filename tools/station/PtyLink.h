// The station's own pseudo-terminal (POSIX only).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "StationLink.h"
#include "serial/FileDescriptor.h"

namespace kestrion::station {

// A pseudo-terminal whose master the station keeps. The slave is not held open by the station, so that the
// master reports when nobody has the slave open: that is how the station sees the other side come and go.
class PtyLink final : public StationLink {
 public:
  // Makes the pseudo-terminal in raw mode with `settings`. Null and `error` set on failure.
  static std::unique_ptr<PtyLink> Create(const LineSettings& settings, std::string& error);

  const std::string& SlavePath() const { return m_strSlavePath; }
  // Whether somebody has the slave open right now.
  bool PeerOpen() const;

  LinkResult Read(char* buffer, std::size_t max, Clock::time_point deadline) override;
  LinkResult Write(std::string_view bytes) override;
  bool SeesPeer() const override { return true; }
  LinkResult WaitForPeer(std::chrono::milliseconds settle) override;
  LinkResult Linger(std::chrono::milliseconds linger) override;
  std::optional<LineSettings> LineSettingsNow() const override;

 private:
  PtyLink(FileDescriptor master, std::string slavePath, const LineSettings& settings)
      : m_master(std::move(master)), m_strSlavePath(std::move(slavePath)), m_settings(settings) {}
  FileDescriptor m_master;
  std::string m_strSlavePath;
  LineSettings m_settings;  // as made
  // Once the other side has opened the port, its closing it means it is gone; before that, bytes written wait
  // in the pseudo-terminal for the first open.
  bool m_bPeerSeen = false;
};

}  // namespace kestrion::station
