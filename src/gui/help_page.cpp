#include "gui/help_page.h"

#include "app/context.h"
#include "app/event_log.h"
#include "app/frontend.h"
#include "app/paths.h"
#include "app/program.h"
#include "archive/report_archive.h"
#include "archive/report_list.h"
#include "crypto/cert_store.h"
#include "crypto/key_files.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace telva {

namespace {

QString place(const QString& what, const QString& path) {
    return QStringLiteral("<tr><td>%1</td><td><code>%2</code></td></tr>")
        .arg(what, (path.isEmpty() ? QStringLiteral("—") : path).toHtmlEscaped());
}

} // namespace

QString helpPageHtml(const AppContext& ctx) {
    const Settings& s = ctx.settings;
    QString html = QStringLiteral("<h3>%1 %2</h3>").arg(programTitle(), ProgramVersion());
    html += QStringLiteral(
        "<p><b>Первый запуск</b></p><ol>"
        "<li>Личный сертификат: на вкладке «Подписать и зашифровать» нажмите «Импортировать "
        "сертификат…» и укажите файл PKCS#12 (.p12, .pfx) или файл сертификата, а затем его "
        "закрытый ключ. Сертификат с ключом сразу становится личным; под полем видно, чей он и до "
        "какого дня действителен. Уже импортированный сертификат выбирается кнопкой «…».</li>"
        "<li>Сертификаты КВБ: нажмите «Установить сертификаты КВБ» (нужно подключение к "
        "Интернету). Перед установкой корневого сертификата сверьте его отпечаток с тем, что "
        "опубликован на сайте КВБ.</li>"
        "<li>Криптопровайдер выбран сам, если он один. Пока чего-то не хватает для подписи, "
        "вкладка говорит, чего именно, и дает кнопку для следующего шага.</li>"
        "<li>Пароль закрытого ключа спрашивается при подписи и при проверке квитанции; в вопросе "
        "назван сертификат.</li></ol>");
    html +=
        QStringLiteral(
            "<p><b>Путь отчета</b></p><ol>"
            "<li>На вкладке «Подписать и зашифровать» выберите криптопровайдер, личный сертификат, "
            "сертификат уполномоченного лица КВБ и файл отчета; вид отчета определяется по файлу. "
            "«Подписать и зашифровать» пишет выходной файл.</li>"
            "<li>«Отправить в КВБ» отправляет его на шлюз; отчет появляется на вкладке "
            "«Отправленные отчеты».</li>"
            "<li>«Обновить информацию об отчете» спрашивает шлюз о выделенном отчете; пришедшая "
            "квитанция (.%1) сразу расшифровывается и проверяется.</li>"
            "<li>На вкладке «Проверить квитанцию» квитанцию можно проверить еще раз и "
            "напечатать.</li></ol>")
            .arg(s.kvitExt);
    html += QStringLiteral("<p><b>Состояния отправленного отчета</b></p><table>"
                           "<tr><td>%1</td><td>шлюз принял отчет, квитанции еще нет</td></tr>"
                           "<tr><td>%2</td><td>квитанция пришла и проверена: отчет принят</td></tr>"
                           "<tr><td>%3</td><td>КВБ нашел в отчете ошибки; их список в архиве "
                           "отчета</td></tr></table>")
                .arg(stateProcessing(), stateAccepted(), stateHasErrors());
    html += QStringLiteral("<p><b>Где что хранится</b></p><table>");
    html += place(QStringLiteral("Настройки"), configHome() + QStringLiteral("/KVB/TELVA.conf"));
    html += place(QStringLiteral("Хранилища сертификатов"), crypto::certStoreRoot());
    html += place(QStringLiteral("Закрытые ключи"), crypto::keyStoreFolder());
    html +=
        place(QStringLiteral("Архив отчетов и квитанций"),
              ctx.archiveBaseFolder.isEmpty() ? QString() : archiveFolder(ctx.archiveBaseFolder));
    html += place(QStringLiteral("Журнал"), logFilePath());
    html += QStringLiteral("</table><p>Журнал хранит сообщения, запросы к шлюзу, проверки "
                           "квитанций и ошибки с отметкой времени; паролей и ключей в нем "
                           "нет.</p><p>F1 — эта справка, F5 — обновить список отчетов, Ctrl+Q — "
                           "выход.</p>");
    return html;
}

bool openJournal(Frontend& frontend) {
    const QString path = logFilePath();
    if (path.isEmpty())
        return false;
    if (!QFileInfo::exists(path))
        logEvent(QStringLiteral("Журнал начат."));
    return frontend.openFile(path);
}

HelpPage::HelpPage(AppContext& ctx, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpPage"));
    setWindowTitle(QStringLiteral("Справка"));
    resize(640, 480);
    text = new QTextBrowser(this);
    text->setObjectName(QStringLiteral("text"));
    text->setHtml(helpPageHtml(ctx));
    btnLog = new QPushButton(QStringLiteral("Открыть &журнал"), this);
    btnLog->setObjectName(QStringLiteral("btnLog"));
    auto* close = new QPushButton(QStringLiteral("&Закрыть"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnLog, &QPushButton::clicked, this, [&ctx] {
        if (!openJournal(ctx.frontend))
            ctx.frontend.showError(
                QStringLiteral("Не удалось открыть журнал \"%1\".").arg(logFilePath()));
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnLog);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addLayout(buttons);
}

} // namespace telva
