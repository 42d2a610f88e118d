// The operator's texts that are not captions of the control table: message boxes, the system-menu entry,
// chooser filters, the status line.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "dialog/PathText.h"
#include "dialog/Prompter.h"
#include "dialog/Text.h"
#include "download/Output.h"
#include "serial/SerialPort.h"

namespace kestrion::messages {

// The application's name: the window caption and the caption of every message box.
inline constexpr std::u16string_view kApplicationName = u"Kestrion";

// The system-menu entry that opens the About box (string 101).
inline constexpr std::u16string_view kAboutMenuEntry = u"关于 Kestrion(&A)...";

inline constexpr std::u16string_view kPortNotOpen = u"通讯端口还没有打开！";
inline constexpr std::u16string_view kDownloadComplete = u"数据下载完成！";
inline constexpr std::u16string_view kNoDataToOutput = u"没有数据可输出！";
inline constexpr std::u16string_view kDataOutput = u"数据已经输出完毕！";

// Reports of a failed file read and of a failed write or close; %1 is the file's full path.
inline constexpr std::u16string_view kFileReadError = u"An unknown error occurred while accessing %1.";
// Browse refuses a file larger than a data text can hold; %1 is the file's full path.
inline constexpr std::u16string_view kFileTooBig = u"文件太大（超过 2 GB），无法载入：%1";
inline constexpr std::u16string_view kDiskFull = u"Disk full while accessing %1.";
// An output file that could not be made at all; %2 is the system's reason.
inline constexpr std::u16string_view kCannotCreate = u"Cannot create %1: %2.";
// An output file that another program holds open (Windows), apart from a refused permission.
inline constexpr std::u16string_view kFileInUse = u"%1 正被其他程序使用，无法写入。请关闭打开该文件的程序后再试。";

// The report of an output that failed, as its message box and the status line tell it; empty for one that
// succeeded.
inline std::u16string OutputFailureText(const WriteResult& written) {
  const std::u16string path = PathText(written.path);
  switch (written.kind) {
    case WriteResult::Ok:
      return {};
    case WriteResult::WriteFailed:
      return FormatText(kDiskFull, {path});
    case WriteResult::CannotCreate:
      if (written.inUse) return FormatText(kFileInUse, {path});
      return FormatText(kCannotCreate, {path, Utf8ToUtf16(written.Reason())});
  }
  return {};
}

// The entries of the parity list, in the order of their parity codes: none, odd, even.
inline constexpr std::u16string_view kParityNone = u"无";
inline constexpr std::u16string_view kParityOdd = u"奇检验";
inline constexpr std::u16string_view kParityEven = u"偶检验";
inline constexpr std::array<std::u16string_view, 3> kParityEntries{kParityNone, kParityOdd, kParityEven};

// The parity list's entry for `parity`; none for a parity that the list does not offer.
inline std::u16string_view ParityText(Parity parity) {
  const auto code = static_cast<std::size_t>(parity);
  return code < kParityEntries.size() ? kParityEntries[code] : kParityNone;
}

// Asked before the window closes while downloaded records have not been written to a file.
inline constexpr std::u16string_view kUnsavedDownload = u"数据尚未输出，确定要退出吗？";
// Asked before the window closes while an upload is running: the instrument would be left with part of a road.
inline constexpr std::u16string_view kUploadRunning = u"正在向全站仪上传数据，退出将中断上传。确定要退出吗？";

// Why the port could not be opened, as the Open port button's tooltip tells it until the next open. A failed
// open shows no message box.
inline constexpr std::u16string_view kPortNoSuchDevice = u"端口无法打开：没有这个设备。";
inline constexpr std::u16string_view kPortInUse = u"端口无法打开：端口正被其他程序使用。";
#ifdef _WIN32
inline constexpr std::u16string_view kPortPermissionDenied = u"端口无法打开：没有访问权限。";
#else
// Serial ports belong to the dialout group on Debian and its kin.
inline constexpr std::u16string_view kPortPermissionDenied =
    u"端口无法打开：没有访问权限。请把您的用户加入 dialout 组（sudo usermod -aG dialout "
    u"用户名），然后重新登录。";
#endif
inline constexpr std::u16string_view kPortSettingsRefused = u"端口无法打开：端口不接受所选的通讯设置。";
inline constexpr std::u16string_view kPortOpenFailed = u"端口无法打开。";

// The tooltip's text for `failure`; empty for none.
inline std::u16string_view PortFailureText(PortFailure failure) {
  switch (failure) {
    case PortFailure::None:
      return {};
    case PortFailure::NoSuchDevice:
    case PortFailure::DeviceGone:
      return kPortNoSuchDevice;
    case PortFailure::InUse:
      return kPortInUse;
    case PortFailure::PermissionDenied:
      return kPortPermissionDenied;
    case PortFailure::SettingsRefused:
      return kPortSettingsRefused;
    default:
      return kPortOpenFailed;
  }
}

// The status line along the bottom of the window. Durations are written m:ss (h:mm:ss from an hour on).
inline constexpr std::u16string_view kStatusLineDescription = u"状态栏：传输进度和线路状况";
inline constexpr std::u16string_view kStatusNoPort = u"通讯端口未打开";
// %1 the line waited for, %2 the lines of the upload.
inline constexpr std::u16string_view kStatusUploadWaiting = u"上传：等待全站仪请求第 %1 行，共 %2 行";
// %1 the line waited for, %2 the lines, %3 the time since the first request.
inline constexpr std::u16string_view kStatusUploadRunning = u"上传：第 %1 行，共 %2 行，已用 %3";
// Added to the above once the instrument's pace shows; %1 the time still needed.
inline constexpr std::u16string_view kStatusUploadRemaining = u"，约需 %1";
// %1 the lines sent, %2 the time it took.
inline constexpr std::u16string_view kStatusUploadFinished = u"上传完成：%1 行，用时 %2";
// %1 the lines sent, %2 the lines of the upload.
inline constexpr std::u16string_view kStatusUploadStopped = u"上传已中止：已发送 %1 行，共 %2 行";
// %1 bytes, %2 records.
inline constexpr std::u16string_view kStatusDownloading = u"下载：已收到 %1 字节，%2 条记录";
inline constexpr std::u16string_view kStatusDownloadFinished = u"下载完成：共 %1 字节，%2 条记录";
// Added to the two above once a marker came; %1 the record type.
inline constexpr std::u16string_view kStatusRecordType = u"（%1 类型）";
// %1 the records written, %2 the full path of the file.
inline constexpr std::u16string_view kStatusOutput = u"已输出 %1 条记录：%2";
// %1 the reason, as the message box told it.
inline constexpr std::u16string_view kStatusOutputFailed = u"输出失败：%1";
// The line's counts, once one of them is not zero: %1 parity, %2 framing, %3 break errors, %4 zero bytes,
// %5 invalid bytes.
inline constexpr std::u16string_view kStatusLineHealth = u"线路：校验错 %1，帧错 %2，中断 %3，零字节 %4，无效字符 %5";
// The same where the system tells a damaged byte but not whether parity or framing was wrong: %1 both.
inline constexpr std::u16string_view kStatusLineHealthUnsplit = u"线路：校验或帧错 %1，中断 %2，零字节 %3，无效字符 %4";
// Bytes lost on this side: told apart, since no setting of the instrument causes them. %1 the count.
inline constexpr std::u16string_view kStatusOverruns = u"溢出 %1（本机接收不及，与通讯设置无关）";
// A connection whose line has nothing to tell yet; %1 the settings in force.
inline constexpr std::u16string_view kStatusPortOpen = u"通讯端口已打开：%1";
// When the line settings look wrong, shown in place of everything else; %1 the settings in force.
inline constexpr std::u16string_view kStatusNoise = u"⚠ 收到的像是杂乱数据：请核对全站仪的波特率、数据位和校验位（本机：%1）";
inline constexpr std::u16string_view kStatusErrorsGrowing =
    u"⚠ 接收时出现线路错误：请核对全站仪的波特率、数据位和校验位（本机：%1）";
// What the instrument seems to send, and the steps to follow. %1 its data bits' parity (an entry of the parity
// list), %2 the settings in force.
inline constexpr std::u16string_view kStatusSevenBits = u"⚠ 全站仪似乎以 7 数据位、检校位 %1 发送（本机：%2）";
// %1 the instrument's rate, %2 the port's.
inline constexpr std::u16string_view kStatusProbeRate = u"⚠ 全站仪似乎以 %1 波特发送，本机端口设为 %2 波特";
// %1 rate, %2 data bits, %3 parity of the instrument; %4 the settings in force.
inline constexpr std::u16string_view kStatusProbeSettings =
    u"⚠ 全站仪似乎以 %1 波特、%2 数据位、检校位 %3 发送（本机：%4）";
// No offered setting explains what came; %1 the settings in force.
inline constexpr std::u16string_view kStatusProbeUnlisted =
    u"⚠ 收到的数据与列表中的任何设置都不相符：全站仪可能使用列表中没有的波特率（如 1200、2400、57600），"
    u"请在全站仪上改用 4800、9600、19200 或 38400（本机：%1）";
// The changes to make, for the steps: %1 a rate, %2 data bits, %3 a parity entry.
inline constexpr std::u16string_view kChangeRate = u"把波特率改为 %1";
inline constexpr std::u16string_view kChangeFormat = u"把数据位改为 %1、检校位改为 %2";
inline constexpr std::u16string_view kChangeRateAndFormat = u"把波特率改为 %1、数据位改为 %2、检校位改为 %3";
// The steps after a download, and after an upload; %1 the changes.
inline constexpr std::u16string_view kStepsDownload = u"：请关闭端口，%1，再打开端口，清空数据，然后在全站仪上重新发送";
inline constexpr std::u16string_view kStepsUpload = u"：请关闭端口，%1，再打开端口，然后重新上传";
// The port's output waits for a signal of the instrument that a three-wire cable does not carry.
inline constexpr std::u16string_view kStatusHeldByCts =
    u"⚠ 端口在等待全站仪的 CTS 信号：端口的硬件流控制已打开。请使用带 RTS/CTS 线的电缆，或在系统的端口设置中关闭流控制";
inline constexpr std::u16string_view kStatusHeldByDsr =
    u"⚠ 端口在等待全站仪的 DSR 信号：端口的硬件流控制已打开。请使用带 DTR/DSR 线的电缆，或在系统的端口设置中关闭流控制";
// The device of the open port vanished (the cable or the USB adapter pulled): the port was closed for it.
inline constexpr std::u16string_view kStatusPortGone = u"⚠ 通讯端口已断开：请插好电缆或 USB 转换器，再打开端口";
// The settings in force: %1 baud, %2 data bits, %3 parity (an entry of the parity list).
inline constexpr std::u16string_view kStatusSettings = u"%1 波特，%2 数据位，检校位 %3";
inline constexpr std::u16string_view kStatusSeparator = u"　|　";

// The file-type filters of the file chooser, in the order offered; the first is selected at the start.
inline constexpr FileFilter kAllFilesFilter{u"所有文件(*.*)", u"*.*"};
inline constexpr FileFilter kTextFilesFilter{u"文本文件(*.txt)", u"*.txt"};
inline constexpr std::array<FileFilter, 2> kFileFilters{kAllFilesFilter, kTextFilesFilter};

}  // namespace kestrion::messages
