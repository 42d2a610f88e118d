// The windows' templates as data: the main window (template 102) and the About box (template 100), control for
// control in template order. Every host builds its windows from these tables and is tested against them.
#pragma once

#include "dialog/DialogTemplate.h"
#include "dialog/DialogView.h"

namespace kestrion {

// Control ids of the main window.
inline constexpr int kIdData = 1000;
inline constexpr int kIdBrowse = 1002;
inline constexpr int kIdPort = 1004;
inline constexpr int kIdBaud = 1005;
inline constexpr int kIdDataBits = 1006;
inline constexpr int kIdParity = 1007;
inline constexpr int kIdOpenPort = 1008;
inline constexpr int kIdClosePort = 1009;
inline constexpr int kIdFilePath = 1010;
inline constexpr int kIdOutput = 1011;
inline constexpr int kIdUpload = 1012;
inline constexpr int kIdUploadMode = 1013;
inline constexpr int kIdStatus = 1014;
inline constexpr int kIdRoads = 1015;
inline constexpr int kIdClearData = 1016;
inline constexpr int kIdDownloadMode = 1018;
// Not a control of the dialog template: the status line below it, where the window has grown.
inline constexpr int kIdStatusLine = 1020;

// Templates and resources.
inline constexpr int kIddAboutBox = 100;
inline constexpr int kIddTransferDialog = 102;
inline constexpr int kIdrMainFrame = 128;  // the application icon
inline constexpr int kIdsAboutBox = 101;   // the system-menu entry's text

// The two radios of the mode group, in group order: index 0 upload mode, 1 download mode.
inline constexpr int kModeGroup[] = {kIdUploadMode, kIdDownloadMode};

const DialogTemplate& TransferDialogTemplate();
const DialogTemplate& AboutDialogTemplate();

}  // namespace kestrion
