#include "audio_settings_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {

QSlider* makeSlider(QWidget* parent, const char* name, int minimum, int maximum, int value)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(name);
    slider->setRange(minimum, maximum);
    slider->setValue(value);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setMinimumWidth(160);
    return slider;
}

QLabel* makeValueLabel(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setMinimumWidth(48);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QComboBox* makeList(QWidget* parent, const char* name)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setMinimumWidth(260);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return combo;
}

} // namespace

TAudioSettingsPanel::TAudioSettingsPanel(QWidget* parent) : QGroupBox(QStringLiteral("Audio settings"), parent)
{
    setObjectName("gbSetup");

    cbInput = makeList(this, "cbInput");
    cbOutput = makeList(this, "cbOutput");
    sliderNumBuf = makeSlider(this, "sliderNumBuf", kMinBuffers, kMaxBuffers, 8);
    sliderDimBuf = makeSlider(this, "sliderDimBuf", kMinSizeStep, kMaxSizeStep, 4);
    sliderNumBufOut = makeSlider(this, "sliderNumBufOut", kMinBuffers, kMaxBuffers, 8);
    sliderDimBufOut = makeSlider(this, "sliderDimBufOut", kMinSizeStep, kMaxSizeStep, 4);
    lblNumBuf = makeValueLabel(this, "lblNumBuf");
    lblDimBuf = makeValueLabel(this, "lblDimBuf");
    lblNumBufOut = makeValueLabel(this, "lblNumBufOut");
    lblDimBufOut = makeValueLabel(this, "lblDimBufOut");

    auto* devices = new QGridLayout;
    const auto addRow = [&](int row, int column, const QString& caption, QWidget* control, QWidget* value = nullptr) {
        devices->addWidget(new QLabel(caption, this), row, column);
        devices->addWidget(control, row, column + 1);
        if (value)
            devices->addWidget(value, row, column + 2);
    };
    addRow(0, 0, QStringLiteral("Input device:"), cbInput);
    addRow(1, 0, QStringLiteral("Buffers:"), sliderNumBuf, lblNumBuf);
    addRow(2, 0, QStringLiteral("Buffer size:"), sliderDimBuf, lblDimBuf);
    addRow(0, 3, QStringLiteral("Output device:"), cbOutput);
    addRow(1, 3, QStringLiteral("Buffers:"), sliderNumBufOut, lblNumBufOut);
    addRow(2, 3, QStringLiteral("Buffer size:"), sliderDimBufOut, lblDimBufOut);
    devices->setColumnMinimumWidth(2, 56);

    cbSecurity = new QCheckBox(QStringLiteral("Enable security"), this);
    cbSecurity->setObjectName("cbSecurity");
    cmbLogin = new QComboBox(this);
    cmbLogin->setObjectName("cmbLogin");
    cmbLogin->setEnabled(false);
    cmbLogin->setMinimumWidth(140);
    cbAutoStart = new QCheckBox(QStringLiteral("Auto start QEX on run"), this);
    cbAutoStart->setObjectName("cbAutoStart");
    cmbPriority = new QComboBox(this);
    cmbPriority->setObjectName("cmbPriority");
    cmbPriority->addItems({QStringLiteral("Idle"), QStringLiteral("Lowest"), QStringLiteral("Lower"),
                           QStringLiteral("Normal"), QStringLiteral("Higher"), QStringLiteral("Highest"),
                           QStringLiteral("TimeCritical")});
    cmbPriority->setCurrentIndex(kDesignPriority);
    btnApply = new QPushButton(QStringLiteral("Apply"), this);
    btnApply->setObjectName("btnApply");
    btnCancel = new QPushButton(QStringLiteral("Close"), this);
    btnCancel->setObjectName("btnCancel");

    auto* options = new QHBoxLayout;
    options->addWidget(cbSecurity);
    options->addWidget(new QLabel(QStringLiteral("Default login"), this));
    options->addWidget(cmbLogin);
    options->addSpacing(16);
    options->addWidget(cbAutoStart);
    options->addSpacing(16);
    options->addWidget(new QLabel(QStringLiteral("Thread Priority"), this));
    options->addWidget(cmbPriority);
    options->addStretch();
    options->addWidget(btnApply);
    options->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(devices);
    layout->addLayout(options);
}
