#pragma once
// The Qt image-format plug-in of the phone's formats: "abm", "ab2" and "seq" (sequence files).

#include <QImageIOPlugin>

namespace pavoline {

class PavolineImagePlugin : public QImageIOPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "pavoline_imageformats.json")
public:
    Capabilities capabilities(QIODevice* device, const QByteArray& format) const override;
    QImageIOHandler* create(QIODevice* device, const QByteArray& format = QByteArray()) const override;
};

} // namespace pavoline
