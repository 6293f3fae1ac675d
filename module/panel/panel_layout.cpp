#include "panel_layout.h"

#include "meter_bar.h"
#include "panel_look.h"
#include "parameter_ranges.h"
#include "slider_column.h"

#include <QButtonGroup>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace qex::panel {

namespace {

constexpr int kAgcMeterTop = 25;
constexpr int kBandMeterTop = 1000;
constexpr int kLevelTop = 32767;
constexpr int kClipMeterTop = 65535;
constexpr int kNameLength = 20;

QString Text(const char* text)
{
    return QString::fromLatin1(text);
}

QString Name(int id)
{
    return QString::fromStdString(ControlName(id));
}

QHBoxLayout* Row(QWidget* parent = nullptr)
{
    auto* row = new QHBoxLayout(parent);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    return row;
}

QVBoxLayout* Column(QWidget* parent = nullptr)
{
    auto* column = new QVBoxLayout(parent);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    return column;
}

// Builds the panel group by group, recording every control it makes.
class Builder {
public:
    Builder(QDialog& dialog, PanelControls& controls) : dialog_(dialog), c_(controls) {}

    void Build()
    {
        auto* upper = Row();
        upper->addWidget(AgcGroup(), 1);
        upper->addWidget(BassEqGroup());
        upper->addWidget(RightColumn());
        auto* lower = Row();
        lower->addWidget(DualBandGroup());
        lower->addWidget(StereoGroup());
        lower->addWidget(LevelsGroup(), 1);

        auto* page = new QVBoxLayout(&dialog_);
        page->setContentsMargins(8, 8, 8, 8);
        page->setSpacing(6);
        page->addWidget(TopBar());
        page->addLayout(upper);
        page->addWidget(MultibandGroup());
        page->addLayout(lower);
    }

private:
    QWidget* TopBar()
    {
        auto* bar = new QGroupBox(&dialog_);
        auto* row = Row(bar);
        row->setContentsMargins(6, 0, 6, 2);
        auto* logo = new QLabel(bar);
        logo->setPixmap(PanelLogo(38));
        row->addWidget(logo);

        auto* onAir = new QLabel(QStringLiteral("ON AIR"), bar);
        onAir->setProperty("role", "title");
        row->addSpacing(10);
        row->addWidget(onAir);
        c_.editedMark = new QLabel(bar);
        c_.editedMark->setObjectName(Name(ctl::EditedMark));
        c_.editedMark->setProperty("role", "indicator");
        c_.editedMark->setFixedWidth(14);
        row->addWidget(c_.editedMark);
        c_.onAirName = new QLabel(bar);
        c_.onAirName->setObjectName(Name(ctl::OnAirName));
        c_.onAirName->setProperty("role", "name");
        c_.onAirName->setMinimumWidth(230);
        row->addWidget(c_.onAirName);
        row->addStretch();

        row->addWidget(MakeCaption(bar, QStringLiteral("PRESET")));
        c_.nameBox = new QLineEdit(bar);
        c_.nameBox->setObjectName(Name(ctl::NameBox));
        c_.nameBox->setMaxLength(kNameLength);
        c_.nameBox->setFixedWidth(230);
        row->addWidget(c_.nameBox);
        c_.presetNumber = MakeReadout(bar, ctl::PresetNumber);
        c_.presetNumber->setFixedWidth(44);
        row->addWidget(c_.presetNumber);
        c_.plus = MakeButton(bar, ctl::Plus, QStringLiteral("+"));
        c_.minus = MakeButton(bar, ctl::Minus, QStringLiteral("-"));
        c_.save = MakeButton(bar, ctl::Save, QStringLiteral("Save"));
        c_.load = MakeButton(bar, ctl::Load, QStringLiteral("Load"));
        for (QPushButton* button : {c_.plus, c_.minus})
            button->setFixedWidth(30);
        for (QPushButton* button : {c_.plus, c_.minus, c_.save, c_.load})
            row->addWidget(button);
        return bar;
    }

    QGroupBox* AgcGroup()
    {
        auto* group = new QGroupBox(QStringLiteral("Gated AGC"), &dialog_);
        auto* sliders = Row();

        auto* gate = Column();
        gate->addWidget(GlobalColumn(group, 1003), 1);
        c_.gated = new QLabel(group);
        c_.gated->setObjectName(Name(ctl::Gated));
        c_.gated->setProperty("role", "indicator");
        c_.gated->setAlignment(Qt::AlignCenter);
        c_.gated->setFixedHeight(16);
        gate->addWidget(c_.gated);
        sliders->addLayout(gate);
        sliders->addWidget(AgcMeters(group));
        for (const int id : {1067, 1169, 1163, 1166, 1160, 1154, 1134})
            sliders->addWidget(GlobalColumn(group, id));
        SliderColumn* mix = GlobalColumn(group, 1172);
        mix->SetEndMarks(QStringLiteral("B"), QStringLiteral("M"));
        sliders->addWidget(mix);
        sliders->addStretch();

        auto* switches = Row();
        for (const int id : {1038, 1099, 1103})
            switches->addWidget(Toggle(group, id));
        switches->addStretch();

        auto* body = Column(group);
        body->addLayout(sliders, 1);
        body->addLayout(switches);
        return group;
    }

    QWidget* AgcMeters(QGroupBox* group)
    {
        c_.agcBass = new MeterBar(group, Name(ctl::AgcBassMeter), Qt::Vertical, kAgcMeterTop, MeterBar::Kind::Gain);
        c_.agcMaster = new MeterBar(group, Name(ctl::AgcMasterMeter), Qt::Vertical, kAgcMeterTop, MeterBar::Kind::Gain);
        c_.agcScaleTop = MakeCaption(group, QString());
        c_.agcScaleTop->setObjectName(Name(ctl::AgcScaleTop));
        auto* scale = Column();
        scale->addWidget(c_.agcScaleTop);
        scale->addStretch();
        scale->addWidget(MakeCaption(group, QStringLiteral("0dB")));

        auto* bars = Row();
        bars->addLayout(scale, 1);
        bars->addWidget(c_.agcBass);
        bars->addWidget(c_.agcMaster);
        auto* names = Row();
        names->addStretch();
        for (const char* name : {"B", "M"})
            names->addWidget(MeterName(group, name));

        auto* box = new QWidget(group);
        auto* meters = Column(box);
        meters->addWidget(MakeCaption(box, QStringLiteral("AGC dB")));
        meters->addLayout(bars, 1);
        meters->addLayout(names);
        box->setFixedWidth(84);
        return box;
    }

    QGroupBox* BassEqGroup()
    {
        auto* group = new QGroupBox(QStringLiteral("BASS EQ"), &dialog_);
        auto* type = new QButtonGroup(group);
        auto* switches = Column();
        switches->addWidget(Radio(group, 1135, type));
        switches->addWidget(Radio(group, 1136, type));
        switches->addSpacing(8);
        switches->addWidget(Toggle(group, 1138));
        switches->addStretch();

        auto* body = Row(group);
        body->addLayout(switches);
        body->addWidget(GlobalColumn(group, 1007));
        body->addWidget(GlobalColumn(group, 1070));
        return group;
    }

    QWidget* RightColumn()
    {
        auto* panel = new QWidget(&dialog_);
        auto* column = Column(panel);
        column->setContentsMargins(4, 12, 4, 4);
        for (const int id : {1041, 1030, 1033, 1047})
            column->addWidget(Toggle(panel, id));
        auto* emphasis = new QButtonGroup(panel);
        auto* times = Row();
        times->addWidget(Radio(panel, 1115, emphasis));
        times->addWidget(Radio(panel, 1116, emphasis));
        column->addLayout(times);
        column->addWidget(Toggle(panel, 1100));
        column->addStretch();
        panel->setFixedWidth(150);
        return panel;
    }

    QGroupBox* MultibandGroup()
    {
        auto* group = new QGroupBox(QStringLiteral("Multiband Processor"), &dialog_);
        auto* overdrive = Column();
        overdrive->addWidget(GlobalColumn(group, 1111), 1);
        c_.global = MakeToggle(group, ctl::Global, QStringLiteral("GLOBAL"));
        overdrive->addWidget(c_.global);

        c_.multibandConfig = new QButtonGroup(group);
        auto* rows = Column();
        rows->addStretch();
        for (int band = kMultibandCount - 1; band >= 0; --band)
            rows->addLayout(BandRowOf(group, band, c_.multibandConfig));
        rows->addStretch();

        auto* sliders = Row();
        sliders->addLayout(overdrive);
        sliders->addSpacing(6);
        sliders->addLayout(rows);
        sliders->addSpacing(6);
        for (int i = 0; i < kBandSliderCount; ++i)
            sliders->addWidget(BandColumn(group, i, false));
        sliders->addSpacing(6);
        for (const int id : {1141, 1083})
            sliders->addWidget(GlobalColumn(group, id));
        sliders->addSpacing(6);
        sliders->addLayout(BandLinks(group));
        sliders->addStretch();

        auto* body = Column(group);
        body->addLayout(sliders, 1);
        body->addLayout(MultibandSwitches(group));
        return group;
    }

    QLayout* BandLinks(QGroupBox* group)
    {
        auto* links = Row();
        for (const int id : {1000, 1150, 1006, 1096})
            links->addWidget(GlobalColumn(group, id));
        auto* column = Column();
        auto* title = MakeCaption(group, QStringLiteral("Band Link %"));
        title->setProperty("role", "title");
        column->addWidget(title);
        column->addLayout(links, 1);
        return column;
    }

    QLayout* MultibandSwitches(QGroupBox* group)
    {
        auto* row = Row();
        for (const int id : {1177, 1114, 1113, 1034})
            row->addWidget(Toggle(group, id));
        row->addSpacing(16);
        auto* sections = new QButtonGroup(group);
        const std::array<std::pair<int, const char*>, kSectionCount> names = {{{ctl::CompressorButton, "Compressor"},
                                                                               {ctl::ExpanderButton, "Expander"},
                                                                               {ctl::LimiterButton, "Limiter"}}};
        for (int section = 0; section < kSectionCount; ++section) {
            c_.sections[section] = MakeRadio(group, names[section].first, Text(names[section].second), sections);
            row->addWidget(c_.sections[section]);
        }
        c_.sectionOn = MakeToggle(group, ctl::SectionOn, QStringLiteral("ON"));
        row->addWidget(c_.sectionOn);
        row->addSpacing(16);

        const GlobalSlider& entry = *FindGlobalSlider(ctl::Efficiency);
        const ValueRange range = RangeOf(entry.field);
        auto* slider = new QSlider(Qt::Horizontal, group);
        slider->setObjectName(Name(entry.id));
        slider->setRange(range.min, range.max);
        slider->setMinimumWidth(140);
        auto* readout = MakeReadout(group, entry.label);
        readout->setFixedWidth(40);
        c_.globalSliders[entry.id] = {slider, readout};
        row->addWidget(MakeCaption(group, Text(entry.caption)));
        row->addWidget(slider, 1);
        row->addWidget(readout);
        return row;
    }

    QGroupBox* DualBandGroup()
    {
        auto* group = new QGroupBox(QStringLiteral("Dual Band Compressor Limiter"), &dialog_);
        c_.dualBandConfig = new QButtonGroup(group);
        auto* rows = Column();
        rows->addStretch();
        for (const int band : {kBandHF, kBandLF})
            rows->addLayout(BandRowOf(group, band, c_.dualBandConfig));
        rows->addStretch();

        auto* body = Row(group);
        body->addWidget(GlobalColumn(group, 1048));
        body->addSpacing(6);
        body->addLayout(rows);
        body->addSpacing(6);
        for (int i = 0; i < kBandSliderCount; ++i)
            body->addWidget(BandColumn(group, i, true));
        body->addWidget(GlobalColumn(group, 1156));
        body->addLayout(ClipMeter(group));
        return group;
    }

    QLayout* ClipMeter(QGroupBox* group)
    {
        c_.clip = new MeterBar(group, Name(ctl::ClipMeter), Qt::Vertical, kClipMeterTop, MeterBar::Kind::Clip);
        auto* bars = Row();
        bars->addWidget(new ScaleMarks(group, {{1.0, "+6"}, {0.5, "+3"}, {0.0, "+0"}}));
        bars->addWidget(c_.clip);
        auto* column = Column();
        column->addWidget(MakeCaption(group, QStringLiteral("ClpLev")));
        column->addLayout(bars, 1);
        return column;
    }

    QGroupBox* StereoGroup()
    {
        auto* group = new QGroupBox(QStringLiteral("Stereo Expander"), &dialog_);
        c_.image = new MeterBar(group, Name(ctl::ImageMeter), Qt::Horizontal, kLevelTop, MeterBar::Kind::Image);
        auto* image = Row();
        image->addWidget(MakeCaption(group, QStringLiteral("Image")));
        image->addWidget(c_.image, 1);
        auto* sliders = Row();
        for (const int id : {1008, 1021, 1086})
            sliders->addWidget(GlobalColumn(group, id));
        auto* body = Column(group);
        body->addLayout(image);
        body->addLayout(sliders, 1);
        return group;
    }

    QGroupBox* LevelsGroup()
    {
        auto* group = new QGroupBox(QStringLiteral("Levels"), &dialog_);
        c_.in = new MeterBar(group, Name(ctl::InMeter), Qt::Vertical, kLevelTop, MeterBar::Kind::Level);
        c_.out = new MeterBar(group, Name(ctl::OutMeter), Qt::Vertical, kLevelTop, MeterBar::Kind::Level);
        // Marks at their linear share of full scale: -6 dB is half way up.
        auto* bars = Row();
        bars->addWidget(new ScaleMarks(group, {{1.0, "0dB"}, {0.501, "-6dB"}, {0.251, "-12dB"}, {0.126, "-18dB"}}));
        bars->addWidget(c_.in);
        bars->addWidget(c_.out);
        auto* names = Row();
        names->addStretch();
        for (const char* name : {"IN", "OUT"})
            names->addWidget(MeterName(group, name));
        auto* meters = Column();
        meters->addLayout(bars, 1);
        meters->addLayout(names);

        auto* switches = Column();
        switches->addWidget(Toggle(group, 1175));
        switches->addWidget(Toggle(group, 1183));
        switches->addStretch();
        auto* version = MakeCaption(group, QStringLiteral("DSP v2.2"));
        switches->addWidget(version);

        auto* body = Row(group);
        body->addLayout(meters);
        body->addWidget(GlobalColumn(group, 1094));
        body->addLayout(switches);
        return group;
    }

    QLayout* BandRowOf(QGroupBox* group, int band, QButtonGroup* configGroup)
    {
        BandRow& row = c_.bands[band];
        const bool dual = band >= kMultibandCount;
        const QString number = dual ? Text(band == kBandHF ? "HF" : "LF") : QString::number(band + 1);
        const int configId = band == kBandHF ? ctl::HFConfig : ctl::LFConfig;
        row.config = MakeRadio(group, dual ? configId : 0, QStringLiteral("CFG"), configGroup);
        if (!dual)
            row.config->setObjectName(QStringLiteral("cfgBand") + number);
        row.mute = MakeToggle(group, kMuteIds[band], QStringLiteral("M"));
        row.mute->setFixedWidth(26);
        auto* label = MakeCaption(group, number);
        label->setFixedWidth(18);

        auto* meters = Column();
        meters->setSpacing(2);
        if (dual) {
            row.lower = new MeterBar(group, Name(band == kBandHF ? ctl::HFMeter : ctl::LFMeter), Qt::Horizontal,
                                     kBandMeterTop, MeterBar::Kind::Band);
        } else {
            row.upper = new MeterBar(group, QStringLiteral("bandMeter%1Upper").arg(number), Qt::Horizontal,
                                     kBandMeterTop, MeterBar::Kind::Band);
            row.lower = new MeterBar(group, QStringLiteral("bandMeter%1Lower").arg(number), Qt::Horizontal,
                                     kBandMeterTop, MeterBar::Kind::Band);
            meters->addWidget(row.upper);
        }
        meters->addWidget(row.lower);
        row.lower->setFixedWidth(120);
        if (row.upper)
            row.upper->setFixedWidth(120);

        auto* layout = Row();
        layout->addWidget(row.config);
        layout->addWidget(row.mute);
        layout->addWidget(label);
        layout->addLayout(meters);
        return layout;
    }

    // The name under a vertical meter, as wide as the meter.
    static QLabel* MeterName(QWidget* parent, const char* name)
    {
        QLabel* label = MakeCaption(parent, Text(name));
        label->setFixedWidth(22);
        return label;
    }

    SliderColumn* GlobalColumn(QWidget* parent, int id)
    {
        const GlobalSlider& entry = *FindGlobalSlider(id);
        const ValueRange range = RangeOf(entry.field);
        auto* column = new SliderColumn(parent, entry.id, entry.label, Text(entry.caption), range.min, range.max);
        c_.globalSliders[entry.id] = {column->slider(), column->readout()};
        return column;
    }

    SliderColumn* BandColumn(QWidget* parent, int index, bool dual)
    {
        const BandSlider& entry = BandSliders()[index];
        const BandSlider::Control& control = dual ? entry.dualBand : entry.multiband;
        const ValueRange range = RangeOf(entry.field, dual ? kBandLF : 0);
        auto* column = new SliderColumn(parent, control.id, control.label, Text(control.caption), range.min, range.max);
        (dual ? c_.dualBandSliders : c_.multibandSliders)[index] = {column->slider(), column->readout()};
        return column;
    }

    QPushButton* Toggle(QWidget* parent, int id)
    {
        QPushButton* button = MakeToggle(parent, id, Text(FindSwitch(id)->caption));
        c_.switches[id] = button;
        return button;
    }

    QPushButton* Radio(QWidget* parent, int id, QButtonGroup* group)
    {
        QPushButton* button = MakeRadio(parent, id, Text(FindSwitch(id)->caption), group);
        c_.switches[id] = button;
        return button;
    }

    QDialog& dialog_;
    PanelControls& c_;
};

} // namespace

void BuildPanelLayout(QDialog& dialog, PanelControls& controls)
{
    Builder(dialog, controls).Build();
}

} // namespace qex::panel
