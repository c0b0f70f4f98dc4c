#include "recording/exchange.h"

#include "loader/crc32.h"

namespace recording {

Exchange askedIn(const platform::DeviceCall &call, const std::function<HandleId(platform::Handle)> &idOf)
{
    Exchange exchange;
    exchange.operation = call.operation;
    exchange.deviceClass = call.deviceClass;
    exchange.devicePath = call.devicePath;
    exchange.pipeEnd = call.pipeEnd;
    exchange.pipe = idOf(call.pipe);
    exchange.slot = idOf(call.slot);
    exchange.size = call.size;
    exchange.timeoutMilliseconds = call.timeoutMilliseconds;
    exchange.request = call.request;
    exchange.value = call.value;
    exchange.index = call.index;
    if (call.operation == Operation::close)
        exchange.handle = idOf(call.handle);
    if (call.operation == Operation::write)
        exchange.crc = crc32(call.writeData, call.size);
    return exchange;
}

}  // namespace recording
