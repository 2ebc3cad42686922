#pragma once
// One running app per user: a lock file in the runtime directory, and a local socket beside it
// through which a second launch asks the running one to come forward.
#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

namespace murmura::ui {

class SingleInstance {
public:
    enum class Outcome { primary, raisedOther };
    // Takes the lock in runtimeDir. When another instance holds it, asks that one to raise its
    // window and reports raisedOther; onRaise runs (on the event loop) when a later launch asks us.
    SingleInstance(const QString& runtimeDir, std::function<void()> onRaise);
    Outcome outcome() const { return outcome_; }

private:
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    Outcome outcome_ = Outcome::primary;
};

}  // namespace murmura::ui
