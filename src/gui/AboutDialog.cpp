#include "gui/AboutDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppContext.h"
#include "app/ShellMenu.h"
#include "gui/DialogSupport.h"
#include "platform/Paths.h"
#include "receiver/ReceiverMakes.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::AboutControl;

AboutDialog::AboutDialog(const AppContext& app, QWidget* parent)
    : Page(app.strings, app.config.effectiveLanguage != 0, parent) {
    setWindowTitle(Text(app.strings, StringId::kProgramName));
    auto* version = Named(new QLabel(QStringLiteral("Sextara %1 ").arg(FromUtf8(kProgramVersion)), this),
                          AboutControl::Version);
    const std::string board(AboutNameOf(app.config.receiverType));
    const std::string date = BuildDateText(__DATE__);
    auto* build = Named(new QLabel(QString::fromStdString(app.strings.Format(
                                       StringId::kAboutBoard, board.c_str(), date.c_str())),
                                   this),
                        AboutControl::Build);
    auto* folder = Named(new QLabel(QString::fromStdString(platform::DataFolder()), this), "dataFolder");
    folder->setWordWrap(true);
    AddReturnButton(command::kReturn, StringId::kOk)->setDefault(true);
    Body()->addStretch();
    for (QLabel* label : {version, build, folder}) {
        label->setAlignment(Qt::AlignHCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        Body()->addWidget(label);
    }
    Body()->addStretch();
}

}  // namespace sextara::gui
