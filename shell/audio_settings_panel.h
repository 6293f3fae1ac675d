#pragma once
// The "Audio settings" group of the main window: devices, buffer counts and sizes, thread
// priority, automatic start, the security switch and the login used at start. This class only
// builds and lays out the controls; the main window handles them.

#include "platform/thread_priority.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

class TAudioSettingsPanel : public QGroupBox {
public:
    explicit TAudioSettingsPanel(QWidget* parent = nullptr);

    QComboBox* cbInput = nullptr;
    QComboBox* cbOutput = nullptr;
    QSlider* sliderNumBuf = nullptr;
    QLabel* lblNumBuf = nullptr;
    QSlider* sliderDimBuf = nullptr;
    QLabel* lblDimBuf = nullptr;
    QSlider* sliderNumBufOut = nullptr;
    QLabel* lblNumBufOut = nullptr;
    QSlider* sliderDimBufOut = nullptr;
    QLabel* lblDimBufOut = nullptr;
    QCheckBox* cbSecurity = nullptr;
    QComboBox* cmbLogin = nullptr;
    QCheckBox* cbAutoStart = nullptr;
    QComboBox* cmbPriority = nullptr;
    QPushButton* btnApply = nullptr;
    QPushButton* btnCancel = nullptr;

    // Buffer counts run from 2 to 32; sizes in steps of 1024 bytes from 1 to 16.
    static constexpr int kMinBuffers = 2;
    static constexpr int kMaxBuffers = 32;
    static constexpr int kMinSizeStep = 1;
    static constexpr int kMaxSizeStep = 16;
    static constexpr int kSizeStepBytes = 1024;
    static constexpr int kDesignPriority = qex::platform::kDesignPriorityIndex;
};
