#include "app/single_instance_message.h"

#include <QtEndian>
#include <gtest/gtest.h>

namespace {

using State = ForwardedMessageReader::State;

QByteArray countOf(quint32 bytes)
{
    QByteArray count(4, '\0');
    qToBigEndian(bytes, count.data());
    return count;
}

TEST(ForwardedMessageReader, ReadsAMessageHoweverItsBytesArriveAndTakesNothingBeyondIt)
{
    const QString messages[] = {
        QString(),
        QStringLiteral(""),
        QStringLiteral("a"),
        QString::fromUtf8("Vantrel \xC3\xA9tape \xE2\x9C\x93"),
        QString(maxForwardedCharacters, QChar(0xFF)),
    };
    for (const QString &message : messages) {
        const QByteArray encoded = encodeForwardedMessage(message);
        const QByteArray arriving = encoded + "what follows is not the message's";
        for (const qsizetype piece : {qsizetype(1), qsizetype(3), qsizetype(5), arriving.size()}) {
            SCOPED_TRACE(testing::Message() << message.size() << " characters in pieces of " << piece);
            ForwardedMessageReader reader;
            qsizetype taken = 0;
            for (qsizetype at = 0; at < arriving.size() && reader.state() == State::incomplete; at += piece)
                taken += reader.take(QByteArrayView(arriving).sliced(at, std::min(piece, arriving.size() - at)));
            ASSERT_EQ(reader.state(), State::complete);
            EXPECT_EQ(reader.message(), message);
            EXPECT_EQ(taken, encoded.size());
            EXPECT_EQ(reader.wanted(), 0);
        }
    }
}

TEST(ForwardedMessageReader, RefusesACountThatNoAllowedMessageHasBeforeReadingFurther)
{
    const quint32 longest = 2 * maxForwardedCharacters;
    const struct {
        const char *what;
        quint32 count;
    } refused[] = {
        {"two gigabytes", 0x7FFFFFFE},
        {"one character too many", longest + 2},
        {"an odd number of bytes", 3},
        {"a 64-bit count follows", 0xFFFFFFFE},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.what);
        ForwardedMessageReader reader;
        EXPECT_EQ(reader.take(countOf(c.count)), 4);
        EXPECT_EQ(reader.state(), State::refused);
        EXPECT_EQ(reader.wanted(), 0);
        EXPECT_EQ(reader.take(QByteArray(16, 'x')), 0);
    }

    ForwardedMessageReader longestAllowed;
    longestAllowed.take(countOf(longest));
    EXPECT_EQ(longestAllowed.state(), State::incomplete);
    EXPECT_EQ(longestAllowed.wanted(), longest);
}

}  // namespace
