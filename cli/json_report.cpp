// The report as JSON on standard output: one document at the end, or for a
// station one line per adapter as each is done.

#include "cli/json_results.h"
#include "cli/report_forms.h"

namespace {

class JsonReport : public Report {
public:
    JsonReport(Output &output, bool station) : Report(output, true, station) {}

    void adapterDone(const AdapterResult &result, std::optional<unsigned> sequence) override
    {
        Report::adapterDone(result, sequence);
        if (station_ && sequence)
            output_.writeJson(stationLineOf(result, *sequence), true);
    }

    void finish(const CommandResult &result) override
    {
        Report::finish(result);
        // A station has written its lines; only a station that never got
        // to its first adapter writes its refusal, on one line as its
        // reader expects.
        if (!(station_ && result.started))
            output_.writeJson(documentOf(result), station_);
    }
};

}  // namespace

std::unique_ptr<Report> makeJsonReport(Output &output, bool station)
{
    return std::make_unique<JsonReport>(output, station);
}

std::unique_ptr<Report> Report::create(Output &output, bool json, bool station, bool csv)
{
    return json ? makeJsonReport(output, station) : makeTextReport(output, station, csv);
}
