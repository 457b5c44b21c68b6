#pragma once

class App;
class LightController;

// Gives the light controller what it takes from the rest of the program: the desktop's screen capture and
// the primary screen, the player's level, the store of the modes in settings.ini, the LED strip's settings
// (and each change of them), and the message boxes for its notices and errors.
void WireLight(App& app, LightController& light);
