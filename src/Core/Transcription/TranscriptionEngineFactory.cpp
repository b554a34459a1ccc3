#include "Core/Transcription/TranscriptionEngineFactory.h"

#include "Core/Transcription/LegacyTranscriptionEngine.h"
#include "Core/Transcription/ModernTranscriptionEngine.h"

namespace {

class SystemTranscriptionEngineFactory final : public TranscriptionEngineFactory
{
public:
    std::shared_ptr<TranscriptionEngine> make() override
    {
        if (ModernTranscriptionEngine::isAvailable()) {
            return ModernTranscriptionEngine::make();
        }
        return LegacyTranscriptionEngine::make();
    }
};

} // namespace

TranscriptionEngineFactory &TranscriptionEngineFactory::system()
{
    static SystemTranscriptionEngineFactory factory;
    return factory;
}
