// Entries as CSV for a spreadsheet and as JSON for scripts.

#include "history/history_output.h"
#include "tests/history/history_fixture.h"

using namespace history;

TEST(HistoryCsv, OpensInASpreadsheetAsWritten)
{
    HistoryEntry entry = failedInstall(1, std::string("=SUM(\xB5\0)", 8));
    entry.id = "0f8fad5b-d9cb-469f-a165-70867728950e";
    entry.station = "Bench \"A\", left";
    entry.message = "line one\nline two";
    entry.firmwareAfter = std::nullopt;
    entry.imageCrc32 = 0xABCD;
    const std::string csv = csvOf({entry});

    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    const std::size_t headerEnd = csv.find("\r\n");
    EXPECT_EQ(csv.substr(3, headerEnd - 3),
              "id,time (UTC),UTC offset (minutes),station,program,program version,serial,port,variant,firmware "
              "before,firmware after,carried version,image CRC-32,outcome,error kind,message,stopped in task,bytes "
              "done,bytes,duration (ms)");
    EXPECT_EQ(csv.substr(headerEnd + 2),
              "\"0f8fad5b-d9cb-469f-a165-70867728950e\",2025-05-20 13:01:00.345,120,\"Bench \"\"A\"\", left\","
              "\"vantrel-flash\",\"1.1.1\",\"'=SUM(\xC2\xB5\xE2\x90\x80)\",\"1-4.2\",\"arm-standard\","
              "\"2.0 \xC2\xB5-build\",,\"2.1\",0x0000ABCD,\"failed\",\"no-reply\","
              "\"line one\nline two\",\"write\",40960,131072,4201\r\n");
}

TEST(HistoryCsv, NoEntriesIsTheHeaderAlone)
{
    const std::string csv = csvOf({});
    EXPECT_EQ(csv.find("\r\n"), csv.size() - 2);
}

TEST(HistoryJson, NamesWhatTheToolsResultsName)
{
    HistoryEntry entry = failedInstall(1, std::string("S\0\xB5", 3));
    entry.duration = std::chrono::milliseconds(4201);
    const nlohmann::json json = jsonOf(entry);
    EXPECT_EQ(json["id"], entry.id);
    EXPECT_EQ(json["time"], "2025-05-20T13:01:00.345Z");
    EXPECT_EQ(json["utcOffsetMinutes"], 120);
    EXPECT_EQ(json["serial"], std::string("S\0\xC2\xB5", 4));
    EXPECT_EQ(json["versionBefore"], "2.0 \xC2\xB5-build");
    EXPECT_TRUE(json["versionAfter"].is_null());
    EXPECT_EQ(json["imageCrc32"], 0xDEADBEEFu);
    EXPECT_EQ(json["errorKind"], "no-reply");
    EXPECT_EQ(json["stoppedIn"], (nlohmann::json{{"task", "write"}, {"bytesDone", 40960}, {"bytes", 131072}}));
    EXPECT_DOUBLE_EQ(json["durationSeconds"].get<double>(), 4.201);
    EXPECT_EQ(json.size(), 18u);

    const nlohmann::json done = jsonOf(installed(2));
    EXPECT_TRUE(done["errorKind"].is_null());
    EXPECT_TRUE(done["stoppedIn"].is_null());
    // Every string is well-formed UTF-8: dumping it throws otherwise.
    EXPECT_NO_THROW(static_cast<void>(json.dump()));
}
