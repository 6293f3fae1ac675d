#include "control_panel.h"

#include "meter_bar.h"
#include "panel_look.h"
#include "panel_meters.h"
#include "processing_module.h"

#include <QAbstractSlider>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimerEvent>

#include <algorithm>

namespace qex::panel {

namespace {

constexpr int kTickMs = 100;
constexpr int kAgcScaleTopDb = 25;

const QString kWarningCaption =
    QStringLiteral("QEX Warning! Sample rate or resolution is wrong, use 44.1KHz 16bits. Process stopped");
const QString kCaption = QStringLiteral("QEX");

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

// Names are 8-bit text: one byte per character, so a name is never cut inside a character.
QString NameText(const GlobalParams& global)
{
    const std::string_view name = NameOf(global);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

void SetChecked(QAbstractButton* button, bool checked)
{
    const QSignalBlocker quiet(button);
    button->setChecked(checked);
}

void SetSlider(const SliderControl& control, int position, const std::string& text)
{
    const QSignalBlocker quiet(control.slider);
    control.slider->setValue(position);
    control.readout->setText(Text(text));
}

} // namespace

ControlPanel::ControlPanel(ProcessingModule& module, QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      module_(module)
{
    setModal(false);
    setStyleSheet(PanelStyleSheet());
    BuildPanelLayout(*this, c_);

    ShowBand(module_.Panel.DisplayedBand.Multiband, module_.Panel.CurrentSection);
    ShowBand(module_.Panel.DisplayedBand.DualBand, Compressor);
    timer_.start(kTickMs, this);
    c_.agcScaleTop->setText(QStringLiteral("+%1dB").arg(kAgcScaleTopDb));
    RefreshAllControls();
    SelectShownBands();
    ConnectControls();
    setFixedSize(sizeHint());
}

void ControlPanel::ConnectControls()
{
    for (const auto& [id, control] : c_.globalSliders)
        ConnectSlider(control.slider, id);
    for (int i = 0; i < kBandSliderCount; ++i) {
        ConnectSlider(c_.multibandSliders[i].slider, BandSliders()[i].multiband.id);
        ConnectSlider(c_.dualBandSliders[i].slider, BandSliders()[i].dualBand.id);
    }
    for (const auto& [id, button] : c_.switches)
        connect(button, &QAbstractButton::clicked, this, [this, id = id] { OnSwitch(id); });
    for (int section = 0; section < kSectionCount; ++section)
        connect(c_.sections[section], &QAbstractButton::clicked, this, [this, section] { OnSection(section); });
    connect(c_.sectionOn, &QAbstractButton::clicked, this, [this] { OnSectionOn(); });
    for (int band = 0; band < kBandCount; ++band) {
        connect(c_.bands[band].mute, &QAbstractButton::clicked, this, [this, band] { OnMute(band); });
        connect(c_.bands[band].config, &QAbstractButton::clicked, this, [this] { ShowSelectedBands(); });
    }
    connect(c_.global, &QAbstractButton::clicked, this, [this] { ShowSelectedBands(); });
    connect(c_.plus, &QAbstractButton::clicked, this, [this] { Browse(1); });
    connect(c_.minus, &QAbstractButton::clicked, this, [this] { Browse(-1); });
    connect(c_.save, &QAbstractButton::clicked, this, [this] { OnSave(); });
    connect(c_.load, &QAbstractButton::clicked, this, [this] { OnLoad(); });
    connect(c_.nameBox, &QLineEdit::textEdited, this, [this](const QString& text) { OnNameEdited(text); });
}

// Every notification of a slider counts, also one that leaves its value as it was (a click on
// the handle, a key at the end of the range): the slider's position is already the new one.
void ControlPanel::ConnectSlider(QAbstractSlider* slider, int id)
{
    connect(slider, &QAbstractSlider::actionTriggered, this, [this, id] { OnSlider(id); });
    connect(slider, &QAbstractSlider::valueChanged, this, [this, id] { OnSlider(id); });
    connect(slider, &QAbstractSlider::sliderReleased, this, [this, id] { OnSlider(id); });
}

void ControlPanel::RefreshAllControls()
{
    const GlobalParams& g = module_.OnAirSet.Global;
    for (const GlobalSlider& entry : GlobalSliders()) {
        const int32_t value = (g.*entry.field).get();
        SetSlider(c_.globalSliders.at(entry.id), entry.PositionOf(value), FormatValue(entry.format, value));
    }
    for (const Switch& entry : Switches())
        SetChecked(c_.switches.at(entry.id), entry.CheckedFor(g));
    SetChecked(c_.sectionOn, (g.*SectionSwitch(module_.Panel.CurrentSection)).get() != 0);
    for (int band = 0; band < kBandCount; ++band)
        SetChecked(c_.bands[band].mute, module_.Path.Settings.BandMute[band].get() != 0);
    c_.onAirName->setText(NameText(g));
    c_.nameBox->setText(NameText(g));
    c_.presetNumber->setText(QString::number(module_.BrowseNumber));
}

void ControlPanel::ShowBand(int band, int section)
{
    const bool dualBand = band >= kMultibandCount;
    if (dualBand)
        section = Compressor;
    const auto& sliders = dualBand ? c_.dualBandSliders : c_.multibandSliders;
    for (int i = 0; i < kBandSliderCount; ++i) {
        const BandSlider& entry = BandSliders()[i];
        // The band gain lives in the band's Compressor record whatever section is shown.
        const int from = entry.field == &SectionParams::BandGainTenthDb ? Compressor : section;
        const int32_t value = (module_.OnAirSet.record(band, from).*entry.field).get();
        SetSlider(sliders[i], value, FormatValue(entry.format, value));
    }
    if (!dualBand)
        SetChecked(c_.sectionOn, (module_.OnAirSet.Global.*SectionSwitch(section)).get() != 0);
}

// The selected buttons agree with what the band sliders show, so edits land in the record the
// operator sees selected.
void ControlPanel::SelectShownBands()
{
    SetChecked(c_.bands[module_.Panel.DisplayedBand.Multiband].config, true);
    SetChecked(c_.bands[module_.Panel.DisplayedBand.DualBand].config, true);
    SetChecked(c_.sections[module_.Panel.CurrentSection], true);
}

void ControlPanel::ShowSelectedBands(int mutedBand)
{
    for (int band = 0; band < mutedBand; ++band) {
        if (!c_.bands[band].config->isChecked())
            continue;
        ShowBand(band, module_.Panel.CurrentSection);
        (band < kMultibandCount ? module_.Panel.DisplayedBand.Multiband : module_.Panel.DisplayedBand.DualBand) = band;
    }
}

void ControlPanel::OnSlider(int id)
{
    module_.Edited = true;
    if (id == ctl::Efficiency) {
        OnGlobalSlider(*FindGlobalSlider(id));
        return;
    }
    ReadBandSliders(false);
    ReadBandSliders(true);
    const auto multiband = std::find_if(BandSliders().begin(), BandSliders().end(),
                                        [id](const BandSlider& entry) { return entry.multiband.id == id; });
    if (c_.global->isChecked() && multiband != BandSliders().end())
        module_.CopyToAllBands(module_.Panel.DisplayedBand.Multiband, module_.Panel.CurrentSection, multiband->field);
    if (const GlobalSlider* entry = FindGlobalSlider(id))
        OnGlobalSlider(*entry);
}

void ControlPanel::ReadBandSliders(bool dualBand)
{
    const int band = dualBand ? module_.Panel.DisplayedBand.DualBand : module_.Panel.DisplayedBand.Multiband;
    const int section = dualBand ? Compressor : module_.Panel.CurrentSection;
    const auto& sliders = dualBand ? c_.dualBandSliders : c_.multibandSliders;
    for (int i = 0; i < kBandSliderCount; ++i) {
        const BandSlider& entry = BandSliders()[i];
        const int32_t value = sliders[i].slider->sliderPosition();
        module_.ChangeSection(band, section, entry.field, value);
        sliders[i].readout->setText(Text(FormatValue(entry.format, value)));
    }
}

void ControlPanel::OnGlobalSlider(const GlobalSlider& entry)
{
    const SliderControl& control = c_.globalSliders.at(entry.id);
    const int32_t value = entry.ValueAt(control.slider->sliderPosition());
    module_.ChangeGlobal(entry.field, value);
    control.readout->setText(Text(FormatValue(entry.format, value)));
    // A bass boost below 6 dB has just turned "High Q" off.
    const Switch& highQ = *FindSwitch(1138);
    SetChecked(c_.switches.at(highQ.id), highQ.CheckedFor(module_.OnAirSet.Global));
}

void ControlPanel::OnSwitch(int id)
{
    ShowSelectedBands();
    const Switch& entry = *FindSwitch(id);
    QPushButton* button = c_.switches.at(id);
    const bool on = button->isChecked() == entry.onMeans;
    if (entry.field)
        module_.ChangeGlobal(entry.field, on ? 1 : 0);
    else
        module_.ChangeFlag(entry.flag, on);
    // "High Q" turns itself off again when refused.
    SetChecked(button, entry.CheckedFor(module_.OnAirSet.Global));
}

void ControlPanel::OnSection(int section)
{
    module_.Panel.CurrentSection = section;
    ShowBand(module_.Panel.DisplayedBand.Multiband, section);
    ShowSelectedBands();
}

void ControlPanel::OnSectionOn()
{
    module_.ChangeGlobal(SectionSwitch(module_.Panel.CurrentSection), c_.sectionOn->isChecked() ? 1 : 0);
    ShowSelectedBands();
}

void ControlPanel::OnMute(int band)
{
    ShowSelectedBands(band);
    module_.SetBandMute(band, c_.bands[band].mute->isChecked());
}

void ControlPanel::Browse(int step)
{
    ShowSelectedBands();
    if (step > 0)
        module_.BrowseUp(step);
    else
        module_.BrowseDown(-step);
    c_.presetNumber->setText(QString::number(module_.BrowseNumber));
    c_.nameBox->setText(NameText(module_.BrowseSet.Global));
}

void ControlPanel::OnSave()
{
    ShowSelectedBands();
    const QByteArray name = c_.nameBox->text().toLatin1();
    module_.Save(std::string_view(name.constData(), static_cast<size_t>(name.size())));
    RefreshAllControls();
}

void ControlPanel::OnLoad()
{
    ShowSelectedBands();
    if (!module_.BrowseLoaded)
        return;
    module_.Load();
    ShowSelectedBands();
    RefreshAllControls();
}

// Names are stored in upper case and in 8-bit text: letters are raised as they are typed, and
// characters that 8-bit text cannot hold are not taken.
void ControlPanel::OnNameEdited(const QString& text)
{
    QString name;
    for (const QChar ch : text) {
        if (ch.unicode() > 0xFF)
            continue;
        const QChar upper = ch.toUpper();
        name += upper.unicode() <= 0xFF ? upper : ch;
    }
    if (name == text)
        return;
    const int cursor = c_.nameBox->cursorPosition() - static_cast<int>(text.size() - name.size());
    c_.nameBox->setText(name);
    c_.nameBox->setCursorPosition(std::max(cursor, 0));
}

void ControlPanel::Tick()
{
    const bool plus = c_.plus->isDown();
    if (const int step = module_.Panel.RepeatStep(plus || c_.minus->isDown()))
        Browse(plus ? step : -step);

    switch (TakeCaptionChange(module_.Path.Meters)) {
    case CaptionChange::ShowWarning: setWindowTitle(kWarningCaption); break;
    case CaptionChange::ShowTitle: setWindowTitle(kCaption); break;
    case CaptionChange::None: break;
    }

    ShowMeters(ReadPanelMeters(module_.Path, module_.OnAirSet.Global, module_.Panel));
    c_.editedMark->setText(module_.Panel.EditedMarkShown(module_.Edited) ? QStringLiteral("E") : QString());
}

void ControlPanel::ShowMeters(const PanelMeterReadings& r)
{
    c_.gated->setText(r.Gated ? QStringLiteral("GATED") : QString());
    c_.agcBass->Show(r.AgcBassDb);
    c_.agcMaster->Show(r.AgcMasterDb);
    for (int band = 0; band < kMultibandCount; ++band) {
        c_.bands[band].lower->Show(r.BandLower[band]);
        c_.bands[band].upper->Show(r.BandUpper[band]);
    }
    c_.bands[kBandHF].lower->Show(r.HF);
    c_.bands[kBandLF].lower->Show(r.LF);
    c_.image->Show(r.Image);
    c_.clip->Show(r.Clip);
    c_.in->Show(r.In);
    c_.out->Show(r.Out);
}

void ControlPanel::closeEvent(QCloseEvent* event)
{
    event->accept();
    inCloseHandler_ = true;
    module_.OnPanelClosed();
    inCloseHandler_ = false;
}

void ControlPanel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange)
        module_.OnPanelMinimized(isMinimized());
    QDialog::changeEvent(event);
}

void ControlPanel::moveEvent(QMoveEvent* event)
{
    const QRect frame = frameGeometry();
    module_.OnPanelMoved({frame.x(), frame.y()});
    QDialog::moveEvent(event);
}

void ControlPanel::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timer_.timerId())
        Tick();
    else
        QDialog::timerEvent(event);
}

// Escape closes the panel as its close button does.
void ControlPanel::reject()
{
    close();
}

} // namespace qex::panel
