#include "gui/RecordOptionsDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/AppContext.h"
#include "app/RecordOptions.h"
#include "gui/DialogSupport.h"
#include "receiver/ReceiverMakes.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::RecordOptionsControl;

RecordOptionsDialog::RecordOptionsDialog(AppContext& app, QWidget* parent)
    : Page(app.strings, app.config.effectiveLanguage != 0, parent), app_(app) {
    const platform::StringTable& strings = app.strings;
    setWindowTitle(Text(strings, StringId::kRecordingGroup));
    type_ = Named(new QComboBox(this), RecordOptionsControl::DataType);
    type_->addItem(Text(strings, StringId::kRawDataChoice));
    type_->addItem(Text(strings, StringId::kNormalData));
    interval_ = Named(new QComboBox(this), RecordOptionsControl::Interval);
    for (int index = 0; index < kIntervalChoices; ++index) interval_->addItem(QString::fromLatin1(IntervalLabelOf(index)));
    cutoff_ = Named(new QLineEdit(this), RecordOptionsControl::Cutoff);
    for (QWidget* control : std::initializer_list<QWidget*>{type_, interval_, cutoff_}) control->setMinimumHeight(36);

    const RecordOptionValues values = GetRecordOptions(app.registry);
    type_->setCurrentIndex(values.dataTypeIndex != 0 ? 1 : 0);
    interval_->setCurrentIndex(values.intervalIndex);
    cutoff_->setText(QString::number(values.cutoff));

    auto* typeLabel =
        Named(new QLabel(Text(strings, StringId::kDataType), this), RecordOptionsControl::DataTypeLabel);
    auto* raw =
        Named(new QGroupBox(Text(strings, StringId::kRawDataGroup), this), RecordOptionsControl::RawGroup);
    auto* rawForm = new QFormLayout(raw);
    auto* intervalLabel =
        Named(new QLabel(Text(strings, StringId::kInterval), raw), RecordOptionsControl::IntervalLabel);
    auto* cutoffLabel =
        Named(new QLabel(Text(strings, StringId::kCutoffAngle), raw), RecordOptionsControl::CutoffLabel);
    rawForm->addRow(intervalLabel, interval_);
    rawForm->addRow(cutoffLabel, cutoff_);

    AddReturnButton();
    connect(type_, &QComboBox::currentIndexChanged, this, [this] { ShowEnabling(); });

    auto* form = new QFormLayout;
    form->addRow(typeLabel, type_);
    Body()->addLayout(form);
    Body()->addWidget(raw);
    Body()->addStretch();
    ShowEnabling();
}

void RecordOptionsDialog::ShowEnabling() {
    const bool idle = !app_.recorder.IsRecording();
    // A fixed raw-log set ignores interval and cut-off.
    const bool built = ReceiverMakeOf(app_.config.receiverType).rawLogBuilt != nullptr;
    const bool rawOptions = idle && type_->currentIndex() == 0 && built;
    type_->setEnabled(idle);
    interval_->setEnabled(rawOptions);
    cutoff_->setEnabled(rawOptions);
}

void RecordOptionsDialog::PressReturn() {
    if (!app_.recorder.IsRecording()) {
        RecordOptionValues values;
        values.dataTypeIndex = type_->currentIndex() > 0 ? 1 : 0;
        values.intervalIndex = interval_->currentIndex();
        // Read as a decimal number and truncated; text that is no number reads
        // 0, and anything beyond 0..90 is stored as 10.
        bool number = false;
        const double degrees = cutoff_->text().trimmed().toDouble(&number);
        values.cutoff = !number ? 0 : degrees > -1000 && degrees < 1000 ? static_cast<int>(degrees) : -1;
        SetRecordOptions(app_.registry, values);
    }
    accept();
}

}  // namespace sextara::gui
