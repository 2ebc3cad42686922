#pragma once
// Preferences in QSettings under the organisation and application "Murmura" (or a given file,
// for tests).
#include <QSettings>
#include <QString>
#include <memory>

#include "app/app_services.h"

namespace murmura::ui {

class QtPreferences final : public Preferences {
public:
    QtPreferences() : settings_(std::make_unique<QSettings>("Murmura", "Murmura")) {}
    explicit QtPreferences(const QString& iniFile)
        : settings_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}
    bool boolValue(std::string_view key) const override {
        return settings_->value(QString::fromUtf8(key.data(), qsizetype(key.size())), false).toBool();
    }
    void setBoolValue(std::string_view key, bool value) override {
        settings_->setValue(QString::fromUtf8(key.data(), qsizetype(key.size())), value);
        settings_->sync();  // a crash later must not make the user repeat onboarding
    }

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace murmura::ui
