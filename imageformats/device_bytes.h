#pragma once
// What the handlers need of a device: its first bytes without moving it, and what is left of it.

#include <QByteArray>
#include <QIODevice>

#include <cstdint>

namespace pavoline {

// Up to count bytes from the current position; the device does not move.
inline QByteArray PeekBytes(QIODevice* device, qint64 count) {
    return device && device->isReadable() ? device->peek(count) : QByteArray();
}

// Bytes from the current position to the end; as many as may come for a sequential device.
inline uint64_t BytesLeft(QIODevice* device) {
    if (!device || device->isSequential()) return UINT64_MAX;
    return static_cast<uint64_t>(std::max<qint64>(0, device->size() - device->pos()));
}

inline const uint8_t* Bytes(const QByteArray& a) { return reinterpret_cast<const uint8_t*>(a.constData()); }

} // namespace pavoline
