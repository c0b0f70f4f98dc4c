#include "app/single_instance_message.h"

#include <algorithm>

#include <QDataStream>
#include <QIODevice>
#include <QtEndian>

namespace {

// Both ends fix the stream format, so that different builds understand each other.
constexpr QDataStream::Version streamVersion = QDataStream::Qt_6_0;
constexpr quint32 nullString = 0xFFFFFFFF;

}  // namespace

QByteArray encodeForwardedMessage(const QString &message)
{
    QByteArray packet;
    QDataStream out(&packet, QIODevice::WriteOnly);
    out.setVersion(streamVersion);
    out << message;
    return packet;
}

qsizetype ForwardedMessageReader::wanted() const
{
    if (state_ != State::incomplete)
        return 0;
    return (textBytes_ < 0 ? countBytes : textBytes_) - received_.size();
}

qsizetype ForwardedMessageReader::take(QByteArrayView bytes)
{
    qsizetype taken = 0;
    while (state_ == State::incomplete && taken < bytes.size()) {
        const qsizetype part = std::min(bytes.size() - taken, wanted());
        received_.append(bytes.sliced(taken, part));
        taken += part;
        if (wanted() > 0)
            break;
        if (textBytes_ < 0)
            readCount();
        else
            finish();
    }
    return taken;
}

void ForwardedMessageReader::readCount()
{
    const auto count = qFromBigEndian<quint32>(received_.constData());
    received_.clear();
    if (count == nullString) {
        state_ = State::complete;  // an empty argument
        return;
    }
    // A larger count (a 64-bit one follows 0xFFFFFFFE) is refused with it.
    if (count % 2 != 0 || count > 2 * maxForwardedCharacters) {
        state_ = State::refused;
        return;
    }
    textBytes_ = count;
    received_.reserve(textBytes_);
    if (textBytes_ == 0)
        finish();
}

void ForwardedMessageReader::finish()
{
    message_.resize(textBytes_ / 2);
    qFromBigEndian<char16_t>(received_.constData(), message_.size(), message_.data());
    received_.clear();
    state_ = State::complete;
}
