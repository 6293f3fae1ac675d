#include "errors.h"

std::string MMErrorText(int key)
{
    switch (key) {
    case 60: return "Change to property while device was open";
    case 61: return "Invalid DeviceID";
    case 62: return "Invalid WaveFormat";
    case 64: return "Unable to allocate memory for wave header";
    case 70: return "The actual device can''t play this format";
    case 80: return "Unable to start device";
    case 81: return "Error filling wave buffer";
    case 87: return "The actual device can''t record this format";
    case 88: return "Could not create thread";
    case 89: return "Invalid wave format";
    case 160: return "No wave audio recording device found";
    case 161: return "No wave audio playing device found";
    case 162: return "Unable to open device";
    case 163: return "Unable to close device";
    default: return "Specified error number is out of range (unknown error)";
    }
}

std::string deviceCallMessage(std::string_view call, std::string_view text)
{
    std::string message(call);
    message += ":\n\r";
    message += text;
    return message;
}
