#include "gui/CasterSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/AppContext.h"
#include "app/CasterSettingsModel.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::CasterSettingsControl;

CasterSettingsDialog::CasterSettingsDialog(AppContext& app, bool tcp, Prompts prompts, QWidget* parent)
    : Page(app.strings, app.config.effectiveLanguage != 0, parent),
      app_(app),
      prompts_(std::move(prompts)),
      tcp_(tcp) {
    setWindowTitle(Text(app.strings, StringId::kServer));
    const CasterDialogValues v = DialogValuesOf(app.correctionLink.Settings());
    QWidget* server = BuildServerGroup(v);
    QWidget* gga = BuildGgaGroup(v);

    auto* ok = AddBarButton(command::kOk, StringId::kOk);
    AddBarStretch();
    auto* cancel = AddBarButton(command::kCancel, StringId::kCancel);
    Body()->addWidget(server);
    Body()->addWidget(gga);
    Body()->addStretch();

    connect(receiverGga_, &QRadioButton::toggled, this, [this] { EnableTyped(); });
    connect(ok, &QPushButton::clicked, this, &CasterSettingsDialog::PressOk);
    connect(cancel, &QPushButton::clicked, this, [this] { done(DialogResult::kRejected); });
    if (tcp) {
        for (QWidget* w : std::initializer_list<QWidget*>{user_, password_, receiverGga_, typedGga_, current_}) {
            w->setEnabled(false);
        }
    }
    EnableTyped();
}

QWidget* CasterSettingsDialog::BuildServerGroup(const CasterDialogValues& v) {
    const platform::StringTable& strings = Strings();
    auto* server =
        Named(new QGroupBox(Text(strings, StringId::kServer), this), CasterSettingsControl::ServerGroup);
    address_ = Named(new QLineEdit(FromUtf8(v.address), server), CasterSettingsControl::Address);
    port_ = Named(new QLineEdit(FromUtf8(v.port), server), CasterSettingsControl::Port);
    user_ = Named(new QLineEdit(FromUtf8(v.user), server), CasterSettingsControl::User);
    password_ = Named(new QLineEdit(FromUtf8(v.password), server), CasterSettingsControl::Password);
    auto label = [server](const QString& text, CasterSettingsControl id) {
        return Named(new QLabel(text, server), id);
    };
    auto* grid = new QGridLayout(server);
    grid->addWidget(label(Text(strings, StringId::kIpLabel), CasterSettingsControl::AddressLabel), 0, 0);
    grid->addWidget(address_, 0, 1);
    grid->addWidget(label(QStringLiteral("Port:"), CasterSettingsControl::PortLabel), 1, 0);
    grid->addWidget(port_, 1, 1);
    grid->addWidget(label(Text(strings, StringId::kUserName), CasterSettingsControl::UserLabel), 2, 0);
    grid->addWidget(user_, 2, 1);
    grid->addWidget(label(Text(strings, StringId::kPassword), CasterSettingsControl::PasswordLabel), 3, 0);
    grid->addWidget(password_, 3, 1);
    tls_ = Named(new QCheckBox(QStringLiteral("TLS"), server), "useTls");
    tls_->setChecked(v.useTls);
    caFile_ = Named(new QLineEdit(FromUtf8(v.caFile), server), "caFile");
    caFile_->setPlaceholderText(Text(strings, StringId::kCaFileHint));
    grid->addWidget(tls_, 4, 0);
    grid->addWidget(caFile_, 4, 1);
    return server;
}

QWidget* CasterSettingsDialog::BuildGgaGroup(const CasterDialogValues& v) {
    const platform::StringTable& strings = Strings();
    auto* gga =
        Named(new QGroupBox(Text(strings, StringId::kGgaSource), this), CasterSettingsControl::GgaGroup);
    receiverGga_ = Named(new QRadioButton(Text(strings, StringId::kSendReceiverGga), gga),
                         CasterSettingsControl::ReceiverGga);
    typedGga_ =
        Named(new QRadioButton(Text(strings, StringId::kTypedGga), gga), CasterSettingsControl::TypedGga);
    latitude_ = Named(new QLineEdit(FromUtf8(v.latitude), gga), CasterSettingsControl::Latitude);
    longitude_ = Named(new QLineEdit(FromUtf8(v.longitude), gga), CasterSettingsControl::Longitude);
    northSouth_ = Named(new QComboBox(gga), CasterSettingsControl::NorthSouth);
    northSouth_->addItems({QStringLiteral("N"), QStringLiteral("S")});
    northSouth_->setCurrentIndex(v.south ? 1 : 0);
    eastWest_ = Named(new QComboBox(gga), CasterSettingsControl::EastWest);
    eastWest_->addItems({QStringLiteral("E"), QStringLiteral("W")});
    eastWest_->setCurrentIndex(v.west ? 1 : 0);
    current_ = Named(new QCheckBox(Text(strings, StringId::kSendCurrentPosition), gga), "sendCurrentGga");
    current_->setChecked(v.resendCurrentPosition);
    (v.useTypedPosition ? typedGga_ : receiverGga_)->setChecked(true);
    auto* grid = new QGridLayout(gga);
    grid->addWidget(receiverGga_, 0, 0, 1, 3);
    grid->addWidget(typedGga_, 1, 0, 1, 3);
    grid->addWidget(Named(new QLabel(QStringLiteral("B:"), gga), CasterSettingsControl::LatitudeLabel), 2, 0);
    grid->addWidget(latitude_, 2, 1);
    grid->addWidget(northSouth_, 2, 2);
    grid->addWidget(Named(new QLabel(QStringLiteral("L:"), gga), CasterSettingsControl::LongitudeLabel), 3, 0);
    grid->addWidget(longitude_, 3, 1);
    grid->addWidget(eastWest_, 3, 2);
    grid->addWidget(current_, 4, 0, 1, 3);
    return gga;
}

void CasterSettingsDialog::EnableTyped() {
    const bool typed = typedGga_->isChecked() && !tcp_;
    for (QWidget* w : std::initializer_list<QWidget*>{latitude_, longitude_, northSouth_, eastWest_}) {
        w->setEnabled(typed);
    }
}

void CasterSettingsDialog::PressOk() {
    CasterDialogValues v;
    v.address = address_->text().toStdString();
    v.port = port_->text().toStdString();
    v.user = user_->text().toStdString();
    v.password = password_->text().toStdString();
    v.useTypedPosition = typedGga_->isChecked();
    v.latitude = latitude_->text().toStdString();
    v.longitude = longitude_->text().toStdString();
    v.south = northSouth_->currentIndex() != 0;
    v.west = eastWest_->currentIndex() != 0;
    v.resendCurrentPosition = current_->isChecked();
    v.useTls = tls_->isChecked();
    v.caFile = caFile_->text().toStdString();
    corrections::CasterSettings settings;
    if (auto message = SettingsFromDialog(app_.correctionLink.Settings(), v, settings)) {
        if (prompts_.tell) prompts_.tell(NoticeIcon::Warning, FromUtf8(*message), Text(app_.strings, StringId::kNotice));
        return;
    }
    app_.correctionLink.SetSettings(settings);
    app_.correctionLink.SaveCasterSettings();
    done(DialogResult::kAccepted);
}

}  // namespace sextara::gui
