#include "OstrelApp/XdgUrlOpener.hpp"

#include <QProcess>
#include <memory>
#include <utility>

namespace ostrel {

XdgUrlOpener::XdgUrlOpener(QString program, QObject* parent) : QObject(parent), program_(std::move(program)) {}

XdgUrlOpener::~XdgUrlOpener() {
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        // Its end would be reported while it is destroyed.
        process->disconnect();
        process->kill();
        process->waitForFinished();
    }
}

void XdgUrlOpener::open(const QUrl& url, Done done) {
    // A child of the opener until it ends, so that releasing the opener ends it.
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // A failed start is reported once, a crash by both signals: the first answer counts.
    auto answer = std::make_shared<Done>(std::move(done));
    const auto finish = [process, answer](bool opened) {
        if (!*answer) return;
        const Done call = std::exchange(*answer, Done{});
        process->deleteLater();
        call(opened);
    };
    connect(process, &QProcess::finished, process,
            [finish](int code, QProcess::ExitStatus status) { finish(status == QProcess::NormalExit && code == 0); });
    connect(process, &QProcess::errorOccurred, process, [finish](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) finish(false);
    });
    process->start(program_, {QString::fromUtf8(url.toEncoded())});
}

}  // namespace ostrel
