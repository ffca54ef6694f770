// telva-cli as it is, but on a clock whose waits cost no real time: the crash test starts the
// program hundreds of times, and each start would otherwise wait out the ten-second request
// spacing before its first upload.
#include "app/clock.h"
#include "cli/cli.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

class QuickClock : public telva::Clock {
public:
    QDateTime now() const override { return Clock::now().addMSecs(skipped_); }
    qint64 ticks() const override { return Clock::ticks() + skipped_; }
    telva::Status sleep(int milliseconds, telva::Frontend*) override {
        skipped_ += milliseconds;
        return {};
    }

private:
    qint64 skipped_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QuickClock clock;
    telva::Clock::setSystem(&clock);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    return telva::runCli(app.arguments().mid(1), out, err, in);
}
