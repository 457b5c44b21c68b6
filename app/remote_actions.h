#pragma once

// The remote client's wiring that is not the main window's own.

class RemoteClient;
class TForm2;

// Gives the client the key names typed in the settings window's boxes, now and at every change.
void FollowKeyTable(RemoteClient& remote, TForm2& settings);
