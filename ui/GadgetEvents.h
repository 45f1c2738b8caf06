#pragma once

#include "ui/DialogElement.h"
#include "ui/EventQueue.h"

namespace corvane {

// Makes the gadgets of one opened window report their activity as
// GadgetEvent with the gadget's number, the window's handle and the gadget's
// event type: a click of a button, check box, option or image button
// (GadgetLeftClick); an editor taking or losing the keyboard focus
// (GadgetFocusGained, GadgetFocusLost). The events are raised through the
// queue, with its callbacks and coalescing, while Qt delivers the input, so a
// poll sees them on its next call. The connections live as long as the
// gadgets; the queue must outlive them.
void reportGadgetEvents(const DialogElement& root, int windowHandle, EventQueue& queue);

}  // namespace corvane
