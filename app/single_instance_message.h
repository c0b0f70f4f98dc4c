#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// What a later start hands to the running one: its first argument, written
// as QDataStream writes a QString (a 32-bit big-endian byte count, all ones
// for a null string, then the text in big-endian UTF-16), so that builds on
// different Qt versions understand each other.

// The longest message, in characters: an argument of 64 KiB of 8-bit text.
inline constexpr qsizetype maxForwardedCharacters = 64 * 1024;

QByteArray encodeForwardedMessage(const QString &message);

// Reads one message as its bytes arrive, looking at each byte once. It
// takes no byte beyond the message, and refuses a declared length that is
// too long or that no UTF-16 text has as soon as the count is in, before
// any of the text is read.
class ForwardedMessageReader {
public:
    enum class State { incomplete, complete, refused };

    // How many more bytes the part being read (the count, then the text)
    // takes: 0 once complete or refused.
    qsizetype wanted() const;
    // Takes from the front of `bytes` what belongs to the message, the count
    // and then its text, and returns how many bytes it took.
    qsizetype take(QByteArrayView bytes);

    State state() const { return state_; }
    // The message, once complete.
    const QString &message() const { return message_; }

private:
    static constexpr qsizetype countBytes = 4;

    void readCount();
    void finish();

    State state_ = State::incomplete;
    // The count, then the text; the count is taken out once it is whole.
    QByteArray received_;
    qsizetype textBytes_ = -1;
    QString message_;
};
