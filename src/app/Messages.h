// The operator's texts that live outside the .ui files: message boxes, the system-menu entry, chooser
// filters.
#pragma once

#include <QString>
#include <QStringView>
#include <array>

#include "serial/SerialPort.h"

namespace kestrion::messages {

// The application's name: the window caption and the caption of every message box.
inline constexpr QStringView kApplicationName = u"Kestrion";

// The system-menu entry that opens the About box (string 101).
inline constexpr QStringView kAboutMenuEntry = u"关于 Kestrion(&A)...";

inline constexpr QStringView kPortNotOpen = u"通讯端口还没有打开！";
inline constexpr QStringView kDownloadComplete = u"数据下载完成！";
inline constexpr QStringView kNoDataToOutput = u"没有数据可输出！";
inline constexpr QStringView kDataOutput = u"数据已经输出完毕！";

// Reports of a failed file read and of a failed write or close; %1 is the file's full path.
inline constexpr QStringView kFileReadError = u"An unknown error occurred while accessing %1.";
// Browse refuses a file larger than a data text can hold; %1 is the file's full path.
inline constexpr QStringView kFileTooBig = u"文件太大（超过 2 GB），无法载入：%1";
inline constexpr QStringView kDiskFull = u"Disk full while accessing %1.";
// An output file that could not be made at all; %2 is the system's reason.
inline constexpr QStringView kCannotCreate = u"Cannot create %1: %2.";

// The entries of the parity list, in the order of their parity codes: none, odd, even.
inline constexpr QStringView kParityNone = u"无";
inline constexpr QStringView kParityOdd = u"奇检验";
inline constexpr QStringView kParityEven = u"偶检验";

// Asked before the window closes while downloaded records have not been written to a file.
inline constexpr QStringView kUnsavedDownload = u"数据尚未输出，确定要退出吗？";

// Why the port could not be opened, as the Open port button's tooltip tells it until the next open. A failed
// open shows no message box.
inline constexpr QStringView kPortNoSuchDevice = u"端口无法打开：没有这个设备。";
inline constexpr QStringView kPortInUse = u"端口无法打开：端口正被其他程序使用。";
inline constexpr QStringView kPortPermissionDenied =
    u"端口无法打开：没有访问权限。请把您的用户加入 dialout 组（sudo usermod -aG dialout "
    u"用户名），然后重新登录。";
inline constexpr QStringView kPortSettingsRefused = u"端口无法打开：端口不接受所选的通讯设置。";
inline constexpr QStringView kPortOpenFailed = u"端口无法打开。";

// The tooltip's text for `failure`; empty for none.
inline QStringView PortFailureText(PortFailure failure) {
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

// The file-type filters of the file chooser, in the order offered; the first is selected at the start.
struct FileFilter {
  QStringView label;
  QStringView pattern;
};
inline constexpr FileFilter kAllFilesFilter{u"所有文件(*.*)", u"*.*"};
inline constexpr FileFilter kTextFilesFilter{u"文本文件(*.txt)", u"*.txt"};
inline constexpr std::array<FileFilter, 2> kFileFilters{kAllFilesFilter, kTextFilesFilter};

}  // namespace kestrion::messages
