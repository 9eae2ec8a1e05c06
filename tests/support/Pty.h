#pragma once
// A pseudo-terminal for tests: the program opens the slave as a COM port, the test plays the
// far end on the master.

#include <termios.h>

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "support/TestWaits.h"

class TPty {
public:
    // Opens a master and unlocks its slave; Slave() stays empty when that fails.
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    int Master() const { return master_; }
    const QString& Slave() const { return slave_; }

    // Closes the master now, so that the slave sees the line hang up.
    void CloseMaster();

    // Writes all of `bytes` to the master; a short write fails the running test.
    void Write(const QByteArray& bytes);

    // Reads until `count` bytes came or `timeoutMs` passed.
    QByteArray Read(int count, int timeoutMs = kTestWaitMs);

    // The slave's terminal settings, as the master reads them.
    termios Termios() const;

    // The slave's line speed in baud, as LineSpeed reads it (0 when it cannot be read).
    uint32_t Speed() const;

private:
    int master_ = -1;
    QString slave_;
};
