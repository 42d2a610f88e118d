// The operator's captions are in UTF-8, like the messages.
#include "app/ControlTable.h"

#include <array>

namespace kestrion {
namespace {

using enum ControlKind;
using namespace style;

constexpr std::uint32_t kComboStyles = kVScroll | kTabStop;
constexpr std::uint32_t kMultiLineStyles = kWantReturn | kAutoHScroll | kVScroll | kBorder | kTabStop;

constexpr std::array kTransferControls{
    ControlRow{kIdOpenPort, PushButton, u"打开端口", {233, 15, 55, 15}, kTabStop, "IDC_1008"},
    ControlRow{kIdPort, ComboBox, u"", {51, 17, 65, 143}, kComboStyles, "IDC_1004"},
    ControlRow{kIdUploadMode, RadioButton, u"上传数据至全站仪", {308, 18, 79, 10}, kGroup | kTabStop, "IDC_1013"},
    ControlRow{kIdDownloadMode, RadioButton, u"从全站仪下载数据", {308, 39, 80, 10}, kTabStop, "IDC_1018"},
    ControlRow{kIdData, MultiLineEdit, u"", {13, 114, 214, 129}, kMultiLineStyles, "IDC_1000"},
    ControlRow{0, GroupBox, u"下载 / 上传数据", {5, 102, 292, 172}, 0, "dataGroup"},
    ControlRow{0, GroupBox, u"通讯设置", {5, 3, 292, 55}, 0, "commGroup"},
    ControlRow{kIdBaud, ComboBox, u"", {51, 36, 65, 102}, kComboStyles, "IDC_1005"},
    ControlRow{kIdDataBits, ComboBox, u"", {162, 16, 65, 70}, kComboStyles, "IDC_1006"},
    ControlRow{0, Label, u"通讯口:", {13, 19, 28, 8}, kGroup, "portLabel"},
    ControlRow{0, Label, u"波特率:", {13, 38, 28, 8}, kGroup, "baudLabel"},
    ControlRow{0, Label, u"数据位:", {126, 18, 28, 8}, kGroup, "dataBitsLabel"},
    ControlRow{kIdParity, ComboBox, u"", {162, 36, 65, 64}, kComboStyles, "IDC_1007"},
    ControlRow{0, Label, u"检校位:", {126, 38, 28, 8}, kGroup, "parityLabel"},
    ControlRow{kIdClosePort, PushButton, u"关闭端口", {233, 35, 55, 15}, kTabStop, "IDC_1009"},
    ControlRow{kIdOutput, PushButton, u"输出数据", {13, 249, 55, 15}, kTabStop, "IDC_1011"},
    ControlRow{kIdBrowse, PushButton, u"浏览", {292, 73, 32, 15}, kTabStop, "IDC_1002"},
    ControlRow{kIdFilePath, Edit, u"", {13, 74, 275, 14}, kAutoHScroll | kBorder | kTabStop, "IDC_1010"},
    ControlRow{0, GroupBox, u"上传数据", {5, 63, 388, 34}, 0, "uploadGroup"},
    ControlRow{kIdUpload, PushButton, u"上传数据", {330, 73, 55, 15}, kTabStop, "IDC_1012"},
    ControlRow{0, GroupBox, u"实时状态", {301, 102, 92, 172}, 0, "statusGroup"},
    ControlRow{kIdStatus, MultiLineEdit, u"", {309, 114, 76, 150}, kMultiLineStyles, "IDC_1014"},
    ControlRow{kIdRoads, ListBox, u"", {233, 114, 55, 129}, kNotify | kNoIntegralHeight | kVScroll | kBorder | kTabStop,
               "IDC_1015"},
    ControlRow{kIdClearData, PushButton, u"清空数据", {233, 249, 55, 15}, kTabStop, "IDC_1016"},
    ControlRow{0, GroupBox, u"操作类型", {301, 3, 92, 55}, 0, "modeTypeGroup"},
    // Below the template's own controls: the window is 14 units taller for it.
    ControlRow{kIdStatusLine, StatusLine, u"", {7, 282, 386, 10}, 0, "statusLine"},
};

constexpr std::array kAboutControls{
    ControlRow{0, Icon, u"", {11, 17, 20, 20}, 0, "iconLabel"},
    ControlRow{0, Label, u"Kestrion 1.1 版", {40, 10, 119, 8}, kGroup, "versionLabel"},
    ControlRow{kIdOk, DefaultPushButton, u"确定", {178, 7, 50, 16}, kGroup | kTabStop, "IDOK"},
};

}  // namespace

const DialogTemplate& TransferDialogTemplate() {
  static const DialogTemplate dialog{kIddTransferDialog, u"Kestrion", {0, 0, 400, 296}, u"MS Shell Dlg", 8,
                                     kTransferControls};
  return dialog;
}

const DialogTemplate& AboutDialogTemplate() {
  static const DialogTemplate dialog{kIddAboutBox, u"关于 Kestrion", {0, 0, 235, 55}, u"宋体", 9, kAboutControls};
  return dialog;
}

}  // namespace kestrion
