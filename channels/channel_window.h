#pragma once

// TForm4, the channel picker: a borderless strip as wide as the screen with the nine channel logos on a
// sliding panel and a marker under the selected one. Button1 steps to the next channel; Button2, or a click
// on the first logo, starts the first channel's stream in the video player. Only the first channel plays. The
// program creates the window at start-up and never shows it.

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <array>

#include "channels/channel_strip.h"

class LinkLabel;

class TForm4 final : public QWidget {
    Q_OBJECT

public:
    // The video player started for the first channel, found on PATH, and the stream it is given as its only
    // argument. VideoPlayerVariable, when set, names another program instead (tests put a stand-in there).
    static const QString VideoPlayer;
    static const QString StreamAddress;
    static constexpr char VideoPlayerVariable[] = "VARNEX_VIDEO_PLAYER";

    // The window needs no service: its channels and its player are its own.
    TForm4();

    QPushButton* Button1;
    QPushButton* Button2;
    QFrame* Panel1;
    QLabel* Arrow;
    LinkLabel* Channel1;
    LinkLabel* Channel2;
    LinkLabel* Channel3;
    LinkLabel* Channel4;
    LinkLabel* Channel5;
    LinkLabel* Channel6;
    LinkLabel* Channel7;
    LinkLabel* Channel8;
    LinkLabel* Channel9;

    // The selected channel, 1 to 9.
    int ChannelIndex = 1;

    // The logo of channel `number` (1 to 9).
    LinkLabel* Channel(int number) const { return channels_[number - 1]; }

    // Sets the width to the screen's, selects the first channel and centres the window. Run by the
    // constructor, once the controls exist.
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Channel1Click();

private:
    std::array<LinkLabel*, LogoCount> channels_{};
};
