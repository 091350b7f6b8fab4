#include "Diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QLoggingCategory>
#include <QSysInfo>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>

#include "Texts.h"
#include "UserPrompt.h"
#include "platform/dialup/FileUtil.h"

namespace velmo::manager::diagnostics {

namespace {

struct Store {
    std::mutex mutex;
    std::deque<QString> lines;
    QtMessageHandler previous = nullptr;
    std::atomic<bool> installed{false};
    std::atomic<bool> enabled{false};
};

Store& TheStore() {
    static Store store;
    return store;
}

char TypeLetter(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return 'D';
        case QtInfoMsg:
            return 'I';
        case QtWarningMsg:
            return 'W';
        case QtCriticalMsg:
            return 'C';
        case QtFatalMsg:
            return 'F';
    }
    return '?';
}

void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    Store& store = TheStore();
    QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "));
    line += QLatin1Char(TypeLetter(type));
    line += QLatin1Char(' ');
    if (context.category != nullptr && std::strcmp(context.category, "default") != 0) {
        line += QLatin1String(context.category);
        line += QLatin1String(": ");
    }
    line += message;
    {
        std::lock_guard lock(store.mutex);
        store.lines.push_back(std::move(line));
        while (store.lines.size() > kDiagnosticLines) {
            store.lines.pop_front();
        }
    }
    if (store.previous != nullptr) {
        store.previous(type, context, message);
    }
}

}  // namespace

void Install() {
    Store& store = TheStore();
    if (store.installed.exchange(true)) {
        return;
    }
    store.previous = qInstallMessageHandler(Handle);
}

void SetEnabled(bool on) {
    TheStore().enabled.store(on);
    QLoggingCategory::setFilterRules(on ? QStringLiteral("velmo.*.debug=true\nvelmo.*.info=true")
                                        : QString());
}

bool Enabled() {
    return TheStore().enabled.load();
}

std::vector<QString> Lines() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    return {store.lines.begin(), store.lines.end()};
}

void Clear() {
    Store& store = TheStore();
    std::lock_guard lock(store.mutex);
    store.lines.clear();
}

QString Header(const QString& productText) {
    return QStringLiteral("%1\n%2\n%3\n")
        .arg(productText.simplified(), QSysInfo::prettyProductName(),
             QDateTime::currentDateTime().toString(Qt::ISODate));
}

bool Save(const QString& path, const QString& header, QString* error, size_t* written) {
    QString text = header;
    if (!text.endsWith(QLatin1Char('\n'))) {
        text += QLatin1Char('\n');
    }
    const std::vector<QString> lines = Lines();
    for (const QString& line : lines) {
        text += line;
        text += QLatin1Char('\n');
    }
    if (written != nullptr) {
        *written = lines.size();
    }
    errno = 0;
    if (!dialup::WriteFileAtomically(path.toStdString(), text.toStdString(), 0600)) {
        if (error != nullptr) {
            *error = Tr::tr("Nie można zapisać pliku %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : EIO)));
        }
        return false;
    }
    return true;
}

}  // namespace velmo::manager::diagnostics

namespace velmo::manager {

void SaveDiagnosticsFlow(IUserPrompt& prompt, const QString& productText) {
    QString path = QDir::home().filePath(QStringLiteral("velmo-diagnostics-%1.txt")
                                             .arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    if (!prompt.AskSaveFile(Tr::tr("Zapisz diagnostykę"),
                            Tr::tr("Pliki tekstowe (*.txt);;Wszystkie pliki (*)"), &path)) {
        return;
    }
    QString error;
    size_t written = 0;
    if (!diagnostics::Save(path, diagnostics::Header(productText), &error, &written)) {
        prompt.Message(error, QString(), PromptIcon::Stop);
        return;
    }
    prompt.Message(Tr::tr("Diagnostykę zapisano w pliku %1 (wierszy: %2).").arg(path).arg(written), QString(),
                   PromptIcon::Information);
}

}  // namespace velmo::manager
