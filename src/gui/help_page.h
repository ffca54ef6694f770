#pragma once

#include <QDialog>

class QTextBrowser;
class QPushButton;

namespace telva {

class Frontend;
struct AppContext;

// The program's own help (F1): the first start (the certificates to bring in), the road of
// a report, where its files are kept, what the states of a sent report mean, and the way to
// the journal.
class HelpPage : public QDialog {
    Q_OBJECT
public:
    HelpPage(AppContext& ctx, QWidget* parent);

    QTextBrowser* text = nullptr;
    QPushButton* btnLog = nullptr;
};

// The page's text for this run's folders.
QString helpPageHtml(const AppContext& ctx);

// Opens the journal with the desktop's program for text, creating it when nothing was
// written yet; false when the desktop cannot open it.
bool openJournal(Frontend& frontend);

} // namespace telva
