// GLib's headers use `signals` as a name; Qt's keywords stay out of this file.
#include <gio/gio.h>

#include "Platform/GSettings/GSettingsMotionPreference.h"

namespace {

constexpr const char *schemaID = "org.gnome.desktop.interface";
constexpr const char *animationsKey = "enable-animations";

} // namespace

bool GSettingsMotionPreference::reduceMotion()
{
    // g_settings_new() aborts the process for a schema that is not installed: look it up first.
    GSettingsSchemaSource *source = g_settings_schema_source_get_default();
    if (!source) {
        return false;
    }
    GSettingsSchema *schema = g_settings_schema_source_lookup(source, schemaID, TRUE);
    if (!schema) {
        return false;
    }
    bool reduce = false;
    if (g_settings_schema_has_key(schema, animationsKey)) {
        GSettings *settings = g_settings_new_full(schema, nullptr, nullptr);
        reduce = !g_settings_get_boolean(settings, animationsKey);
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return reduce;
}

MotionPreference &MotionPreference::system()
{
    static GSettingsMotionPreference preference;
    return preference;
}
