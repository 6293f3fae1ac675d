#pragma once

class QApplication;

// Names the application object, with or without windows.
void initialiseApplication();

// Shows the streaming engine's notices and device failures in message boxes.
void installEngineNotices();

// Brings the program up in its fixed order, runs the message loop and returns the exit code:
// 0 after a normal end (also when a second copy hands over to the running one), 1 when
// start-up fails.
int runQex(QApplication& application);
