// The program's view of the adapter library: the event record, its type codes,
// the capture callback and the operations, checked against the layout the
// capture pipeline relies on.
#pragma once

#include <korvex/korvex.h>

#include <cstddef>
#include <cstdint>

static_assert(sizeof(I2CEvent) == 16, "I2CEvent must be 16 bytes");
static_assert(offsetof(I2CEvent, type) == 0, "I2CEvent.type at offset 0");
static_assert(offsetof(I2CEvent, data) == 4, "I2CEvent.data at offset 4");
static_assert(offsetof(I2CEvent, timestamp) == 8, "I2CEvent.timestamp at offset 8");

enum EventType : int32_t {
    EventStart = KORVEX_EVENT_START,
    EventAddr = KORVEX_EVENT_ADDR,
    EventData = KORVEX_EVENT_DATA,
    EventStop = KORVEX_EVENT_STOP,
    EventNack = KORVEX_EVENT_NACK,
    EventAck = KORVEX_EVENT_ACK,
};
