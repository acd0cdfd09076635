#pragma once

#include <termios.h>

#include <string>

// A pseudo-terminal standing for a printer: jobs write to `slavePath`, the
// test reads what arrives at the master end. It keeps a descriptor on the
// slave too, so that a job's close does not hang up the line.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    std::string slavePath;
    // Everything that has arrived, waiting until nothing more comes for a
    // short while.
    std::string readAll();
    // Throws away what has arrived, without waiting, so the line never fills.
    void drain();
    // Sends bytes to the job's end, as a printer would (XON, XOFF, answers).
    void send(const std::string& bytes);
    // Whether the slave side has its output post-processing on.
    bool slaveOutputProcessing() const;
    // The line settings in force, as the other end of the line sees them.
    termios slaveSettings() const;
    // Sets them, as the system or another program might have left the line.
    void setSlaveSettings(const termios& settings);

private:
    int master_ = -1;
    int slave_ = -1;
};
