#pragma once

#include <sys/types.h>
#ifndef _WIN32
#include <signal.h>
#endif

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

// A start of a program, with its standard output kept. The program is killed
// when the object goes, if it still runs.
class ProgramStart {
public:
    ProgramStart(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
    {
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(program, arguments);
        started_ = process_.waitForStarted();
    }
    ~ProgramStart()
    {
        if (process_.state() != QProcess::NotRunning) {
#ifndef _WIN32
            // A test may have stopped it.
            ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
#endif
            process_.kill();
            process_.waitForFinished();
        }
    }
    ProgramStart(const ProgramStart &) = delete;
    ProgramStart &operator=(const ProgramStart &) = delete;

    // Whether the program printed `line` within `milliseconds`.
    bool printed(const QString &line, int milliseconds = 20000)
    {
        const QDeadlineTimer deadline(milliseconds);
        for (;;) {
            output_ += process_.readAllStandardOutput();
            if (lines().contains(line))
                return true;
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(50);
        }
    }
    // Whether it ended by itself within `milliseconds` with exit code 0.
    bool endsWithZero(int milliseconds = 30000) { return endsWith(0, milliseconds); }
    // Whether it ended by itself within `milliseconds` with `exitCode`.
    bool endsWith(int exitCode, int milliseconds = 30000)
    {
        // An end that a wait for its output has already seen is not waited
        // for again: Qt's wait would report it as a time-out.
        if (!started_ || (process_.state() != QProcess::NotRunning && !process_.waitForFinished(milliseconds)))
            return false;
        output_ += process_.readAllStandardOutput();
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == exitCode;
    }
    // Ends its standard input.
    void closeInput() { process_.closeWriteChannel(); }
    QStringList lines() const { return QString::fromLocal8Bit(output()).split(QLatin1Char('\n')); }
    // What it wrote, with its lines ended by LF alone, as on Linux: on
    // Windows, text written to a stream ends each line with CR LF.
    QByteArray output() const { return QByteArray(output_).replace("\r\n", "\n"); }
    QByteArray errors() { return process_.readAllStandardError().replace("\r\n", "\n"); }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    bool running() const { return process_.state() == QProcess::Running; }
    void crash()
    {
        process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    bool started_ = false;
    QByteArray output_;
};
