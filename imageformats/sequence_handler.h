#pragma once
// Sequence files for Qt: an animation whose frames are the sequence's ABM or PNG files, so that
// QMovie plays it. Delays are taken in milliseconds; the repeat count is the loop count.

#include "sequence_format.h"

#include <QImageIOHandler>

#include <optional>

namespace pavoline {

class SequenceHandler : public QImageIOHandler {
public:
    SequenceHandler();

    static bool canRead(QIODevice* device);
    bool canRead() const override;
    bool read(QImage* image) override;
    QVariant option(ImageOption option) const override;
    bool supportsOption(ImageOption option) const override;

    int imageCount() const override;
    int loopCount() const override;
    int nextImageDelay() const override;
    int currentImageNumber() const override;
    bool jumpToNextImage() override;
    bool jumpToImage(int imageNumber) override;

private:
    // Read once, from where the device stood when the handler first looked at it.
    const SequenceTable* table() const;
    QImage decodeFrame(const SequenceEntry& entry) const;

    mutable bool tableRead_ = false;
    mutable std::optional<SequenceTable> table_;
    mutable qint64 start_ = 0;
    int current_ = 0;
};

} // namespace pavoline
