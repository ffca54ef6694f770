#include "cli_runner.h"
#include "cli/cli.h"

namespace telva::test {

CliRun runCliInProcess(const QStringList& args, const QString& input) {
    QString out, err, in = input;
    QTextStream o(&out), e(&err), i(&in);
    CliRun run;
    run.status = telva::runCli(args, o, e, i);
    o.flush();
    e.flush();
    run.out = out;
    run.err = err;
    return run;
}

} // namespace telva::test
