#pragma once

// A pseudo-terminal standing in for the light board's serial port: the program opens the slave side by its
// path, the test reads what reached the "line" from the master side.

#include <QByteArray>
#include <QString>

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    QString slavePath() const { return slavePath_; }
    // Everything that arrived, waiting up to `waitMs` for at least `atLeast` bytes.
    QByteArray read(int atLeast = 1, int waitMs = 2000);
    // Closes the master side: the far end of the line is gone.
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;  // held open so that the line stays up between the program's opens
    QString slavePath_;
};
