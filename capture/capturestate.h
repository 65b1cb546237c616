// Where a capture stands, as the status bar tells it.
#pragma once

enum class CaptureState {
    Idle,           // nothing captured since the window opened
    Capturing,      // the adapter delivers
    ReplayFinished, // a recorded capture reached its end; Stop is still to press
    Failed,         // the source broke off (a device gone, a replay that could not go on)
    Stopped
};
