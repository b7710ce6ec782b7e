#include "choice/app.h"

#include "sound/synth_plan.h"

namespace taktovi {

ChoiceApp::ChoiceApp(QSize screen)
    : engine(clock, AudioEngine::Options{.synthPlan = builtinSynthPlan()}),
      midi(engine, openAlsaPorts()),
      mixers(&engine),
      pump(clock),
      starter(executableDirectory()) {
  form = std::make_unique<TForm1>(ChoiceDeps{{Program::Choice, midi, mixers, clock, executableDirectory()},
                                             clock, pump, errors, starter, chooser, screen});
}

}  // namespace taktovi
