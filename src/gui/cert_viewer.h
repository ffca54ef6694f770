#pragma once

#include "crypto/certificate.h"

#include <QDialog>

class QTableWidget;

namespace telva {

// The program's own certificate window: the fields of one certificate, read only.
class TCertViewer : public QDialog {
    Q_OBJECT
public:
    explicit TCertViewer(const crypto::Certificate& cert, QWidget* parent = nullptr);

    QTableWidget* fields = nullptr;
};

} // namespace telva
