#pragma once

#include "Base/UserDefaults.h"
#include "Core/AppSettings.h"
#include "Fakes/FakeLoginItem.h"
#include "Fakes/FakeSpeechEnginePreparer.h"
#include "Fakes/FakeUsageEventQueue.h"
#include "Fakes/FakeVocabularyMigrator.h"

#include <memory>

// A settings object on an in-memory defaults store with recording fakes for its services. Fill
// `defaults` first when a test needs stored values, then call make(); as a shortcut, the
// constructor with `makeNow` makes the settings at once from empty defaults.
struct TestAppSettings
{
    UserDefaults defaults;
    FakeVocabularyMigrator vocabulary;
    FakeUsageEventQueue usageQueue;
    FakeSpeechEnginePreparer enginePreparer;
    FakeLoginItem loginItem;
    QString bundleIdentifier = AppInfo::bundleIdentifier();
    std::unique_ptr<AppSettings> settings;

    explicit TestAppSettings(bool makeNow = false)
    {
        if (makeNow) {
            make();
        }
    }

    AppSettings::Services services()
    {
        AppSettings::Services services;
        services.vocabulary = &vocabulary;
        services.usageQueue = &usageQueue;
        services.enginePreparer = &enginePreparer;
        services.loginItem = &loginItem;
        services.bundleIdentifier = bundleIdentifier;
        return services;
    }

    AppSettings &make()
    {
        settings = std::make_unique<AppSettings>(defaults, services());
        return *settings;
    }

    AppSettings *operator->() { return settings.get(); }
};
