#include "app/AboutDlg.h"

#include "app/AppIcon.h"
#include "app/DialogUnits.h"
#include "ui_AboutDlg.h"

namespace kestrion {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>()) {
  m_ui->setupUi(this);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  PlaceByDialogUnits(*this);
  const QIcon icon = ApplicationIcon();
  setWindowIcon(icon);
  // An icon control shows the icon at its own size, from its top left corner.
  m_ui->iconLabel->setPixmap(icon.pixmap(QSize(32, 32)));
  m_ui->IDOK->setFocus();
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace kestrion
