#pragma once

#include "app/error_reporter.h"
#include "app/latin1.h"
#include "datalink/hexception.h"

// Runs a slot's body. The toolkit cannot let an exception unwind through its
// event loop, so an HException that leaves the body is caught here, at the
// slot's entry, and handed to the error reporter.
template <typename Body>
void guardSlot(Body &&body)
{
    try {
        body();
    } catch (const HException &e) {
        reportError(latin1Text(e.message()));
    }
}
