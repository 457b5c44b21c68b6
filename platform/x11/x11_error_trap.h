#pragma once

// Xlib reports a refused request through one process-wide handler whose default ends the process. X calls
// that the server may refuse (on another program's window that may vanish at any moment, or an extension
// the server lacks) go under an XErrorTrap: while it lives, errors are counted instead, and the handler that
// was there before is put back afterwards. Only the UI thread uses X.

struct _XDisplay;

class XErrorTrap {
public:
    // Errors of requests sent before the trap are not its own: they are waited for first.
    explicit XErrorTrap(_XDisplay* display);
    // Waits for the server's answer to the requests sent under the trap, so none of their errors comes later.
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Whether any request sent under the trap has failed so far (waiting for the server's answers).
    bool Failed();

private:
    _XDisplay* display_;
    int (*previous_)(_XDisplay*, void*);
    int errorsBefore_;
};
