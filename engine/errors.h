#pragma once
// The engine's exception classes and its table of error texts.

#include <stdexcept>
#include <string>
#include <string_view>

class EMMError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EMMWaveInError : public EMMError {
public:
    using EMMError::EMMError;
};
class EMMWaveOutError : public EMMError {
public:
    using EMMError::EMMError;
};
class EMMBufferError : public EMMError {
public:
    using EMMError::EMMError;
};
class EMMPlugInError : public EMMError {
public:
    using EMMError::EMMError;
};
class EMMConnectorError : public EMMError {
public:
    using EMMError::EMMError;
};
class EMMLevelError : public EMMError {
public:
    using EMMError::EMMError;
};
class EMMHiTimerError : public EMMError {
public:
    using EMMError::EMMError;
};

// Keys of the error-text table.
enum MMErrorKey : int {
    kErrPropertyWhileOpen = 60,
    kErrInvalidDeviceId = 61,
    kErrInvalidWaveFormat = 62,
    kErrHeaderMemory = 64,
    kErrCannotPlayFormat = 70,
    kErrUnableToStart = 80,
    kErrFillingBuffer = 81,
    kErrUnknownError = 86,
    kErrCannotRecordFormat = 87,
    kErrCreateThread = 88,
    kErrInvalidFormat = 89,
    kErrNoRecordingDevice = 160,
    kErrNoPlayingDevice = 161,
    kErrUnableToOpen = 162,
    kErrUnableToClose = 163,
};

// The text for a key; the text of key 86 for keys outside the table.
std::string MMErrorText(int key);

// A failed device call as it reads to the operator: the call's name, a colon, LF, CR, the text.
std::string deviceCallMessage(std::string_view call, std::string_view text);
