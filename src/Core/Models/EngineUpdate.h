#pragma once

#include <QMetaType>
#include <QString>

// One element of a recogniser's result stream. A volatile update carries the current provisional
// reading of the speech not yet settled and replaces the previous provisional text; a finalized
// update carries a settled piece of the transcript, which the consumer appends as given (the engine
// includes any separator) while clearing the provisional text.
class EngineUpdate
{
public:
    // `volatile` is a keyword, hence the trailing underscore.
    enum class Kind { volatile_, finalized };

    EngineUpdate() = default;
    EngineUpdate(Kind kind, QString text)
        : m_kind(kind)
        , m_text(std::move(text))
    { }

    static EngineUpdate makeVolatile(QString text) { return {Kind::volatile_, std::move(text)}; }
    static EngineUpdate makeFinalized(QString text) { return {Kind::finalized, std::move(text)}; }

    Kind kind() const { return m_kind; }
    bool isVolatile() const { return m_kind == Kind::volatile_; }
    bool isFinalized() const { return m_kind == Kind::finalized; }
    const QString &text() const { return m_text; }

private:
    Kind m_kind = Kind::volatile_;
    QString m_text;
};

Q_DECLARE_METATYPE(EngineUpdate)
