#pragma once

#include <signal.h>
#include <sys/types.h>

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
        process_.waitForStarted();
    }
    ~ProgramStart()
    {
        if (process_.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
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
        if (!process_.waitForFinished(milliseconds))
            return false;
        output_ += process_.readAllStandardOutput();
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == exitCode;
    }
    // Ends its standard input.
    void closeInput() { process_.closeWriteChannel(); }
    QStringList lines() const { return QString::fromLocal8Bit(output_).split(QLatin1Char('\n')); }
    QByteArray output() const { return output_; }
    QByteArray errors() { return process_.readAllStandardError(); }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    bool running() const { return process_.state() == QProcess::Running; }
    void crash()
    {
        process_.kill();
        process_.waitForFinished();
    }

private:
    QProcess process_;
    QByteArray output_;
};
