#include "tests/platform/win32/pipe_link_bench.h"

#include "datalink/ftdi_link.h"
#include "datalink/usb_vantrel_link.h"

PipeLinkBench::PipeLinkBench(LinkFamily linkFamily)
    : family(linkFamily),
      backend(std::make_shared<ObservingBackend>(platform::nativeServices().usb)),
      io(*backend),
      standIn(loader, linkFamily == LinkFamily::ftdi ? PipeDriverStandIn::Framing::ftdi
                                                     : PipeDriverStandIn::Framing::plain),
      services_({nullptr, backend})
{
    if (family == LinkFamily::ftdi)
        io.answerControl([this](const ControlRequest &request) { return standIn.answerControl(request); });
}

std::unique_ptr<HDataLink> PipeLinkBench::openLink()
{
    // The factory's interface selector for FTDI adapters.
    if (family == LinkFamily::ftdi)
        return std::make_unique<UsbdFtd2xxDataLink>(standIn.record(), -1);
    return std::make_unique<UsbVantrelWinDataLink>(standIn.record());
}
