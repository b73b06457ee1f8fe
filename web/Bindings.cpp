// The module's interface to the page's script.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <cmath>

#include "record/MachineJson.h"
#include "web/ExercisePage.h"
#include "web/Session.h"

namespace {

using fivestage::web::Session;

// A text the module made, as a JavaScript string. Embind hands a returned
// std::string over a byte at a time, some 10 bytes a microsecond; the
// browser's decoder takes it in one go, which counts for the view of the
// run the page asks for at every Step.
emscripten::val jsString(const std::string& text) {
  static const emscripten::val decoder = emscripten::val::global("TextDecoder").new_();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  return decoder.call<emscripten::val>("decode", emscripten::val(emscripten::typed_memory_view(text.size(), bytes)));
}

// A function or a session's method that makes a text, bound so that it
// returns the text through jsString.
template <auto function>
struct Decoded;
template <typename... Args, std::string (*function)(Args...)>
struct Decoded<function> {
  static emscripten::val call(Args... args) { return jsString(function(args...)); }
};
template <typename... Args, std::string (Session::*method)(Args...) const>
struct Decoded<method> {
  static emscripten::val call(const Session& session, Args... args) { return jsString((session.*method)(args...)); }
};

// Paths inside an input folder, as the page's script reads them.
emscripten::val pathList(const std::vector<std::string>& paths) {
  emscripten::val list = emscripten::val::array();
  for (const std::string& path : paths) list.call<void>("push", path);
  return list;
}

// The energy files an input folder holds, by their paths inside it.
emscripten::val energyFiles() { return pathList(fivestage::energyFilePaths()); }

// The idle files it may hold, one a stage; none is needed.
emscripten::val idleFiles() { return pathList(fivestage::idleFilePaths()); }

// The picture of energy over time as the page's script reads it: its
// opening and closing, its parts [{ key, html }] and its legend.
emscripten::val energyOverTimeOf(const fivestage::report::EnergyOverTimeParts& picture) {
  emscripten::val result = emscripten::val::object();
  result.set("opening", jsString(picture.opening));
  result.set("closing", jsString(std::string(fivestage::report::EnergyOverTimeParts::closing)));
  emscripten::val parts = emscripten::val::array();
  for (const fivestage::report::EnergyOverTimeParts::Part& part : picture.parts) {
    emscripten::val shown = emscripten::val::object();
    shown.set("key", jsString(part.key));
    shown.set("html", jsString(part.html));
    parts.call<void>("push", shown);
  }
  result.set("parts", parts);
  result.set("legend", jsString(picture.legend));
  return result;
}

// The session's view as the page's script reads it: the figures, with the
// texts and the chart's rows beside them, each handed over as it is.
emscripten::val viewOf(const Session& session) {
  const Session::View view = session.view();
  emscripten::val result = emscripten::val::global("JSON").call<emscripten::val>("parse", jsString(view.figures));
  result.set("trace", jsString(view.trace));
  result.set("summaryHtml", jsString(view.summaryHtml));
  result.set("finalStateHtml", jsString(view.finalStateHtml));
  result.set("energyOverTime", energyOverTimeOf(view.energyOverTime));
  result.set("predictorHtml", jsString(view.predictorHtml));
  emscripten::val chart = emscripten::val::null();
  if (view.chart) {
    chart = emscripten::val::object();
    chart.set("opening", jsString(view.chart->opening));
    chart.set("closing", jsString(std::string(fivestage::report::ChartParts::closing)));
    chart.set("head", jsString(view.chart->head));
    emscripten::val rows = emscripten::val::array();
    for (const fivestage::report::ChartParts::Row& part : view.chart->rows) {
      emscripten::val row = emscripten::val::object();
      row.set("fetch", static_cast<double>(part.fetch));
      row.set("html", jsString(part.html));
      rows.call<void>("push", row);
    }
    chart.set("rows", rows);
  }
  result.set("chart", chart);
  return result;
}

// A value the page's script read from JSON, as JSON again: a whole number
// stays whole, so that the exercise's validator tells 3 from 1.5.
nlohmann::ordered_json jsonOf(const emscripten::val& value) {
  const std::string type = value.typeOf().as<std::string>();
  if (type == "string") return value.as<std::string>();
  if (type == "boolean") return value.as<bool>();
  if (type == "number") {
    const double number = value.as<double>();
    const bool whole = std::trunc(number) == number && std::abs(number) < 9e18;
    return whole ? nlohmann::ordered_json(static_cast<std::int64_t>(number)) : nlohmann::ordered_json(number);
  }
  if (type != "object" || value.isNull()) return nullptr;
  nlohmann::ordered_json json = value.isArray() ? nlohmann::ordered_json::array() : nlohmann::ordered_json::object();
  if (value.isArray()) {
    for (unsigned i = 0, length = value["length"].as<unsigned>(); i < length; ++i) json.push_back(jsonOf(value[i]));
    return json;
  }
  const emscripten::val keys = emscripten::val::global("Object").call<emscripten::val>("keys", value);
  for (unsigned i = 0, length = keys["length"].as<unsigned>(); i < length; ++i) {
    const std::string key = keys[i].as<std::string>();
    json[key] = jsonOf(value[key]);
  }
  return json;
}

// The page's input files, { path: text }, as the texts a run reads: a path
// the page has no text for is a missing file.
fivestage::InputTexts inputsOf(const emscripten::val& files) {
  fivestage::InputTexts inputs("inputs");
  const emscripten::val paths = emscripten::val::global("Object").call<emscripten::val>("keys", files);
  for (unsigned i = 0, length = paths["length"].as<unsigned>(); i < length; ++i) {
    const std::string path = paths[i].as<std::string>();
    inputs.put(path, files[path].as<std::string>());
  }
  return inputs;
}

// The machine the page chose, as the JSON `machine` object.
fivestage::MachineOptions machineOf(const emscripten::val& machine) {
  return fivestage::report::machineFromJson(jsonOf(machine));
}

// The machine's options, for the page to build its controls from.
emscripten::val machineOptions() {
  return emscripten::val::global("JSON").call<emscripten::val>("parse",
                                                               jsString(fivestage::report::machineControlsJson().dump()));
}

// A session on the machine chosen.
Session* sessionOn(const emscripten::val& files, const emscripten::val& machine) {
  return new Session(inputsOf(files), machineOf(machine));
}

// The console's output as bytes, exactly as fivestage writes them, and its
// exit status, on the machine chosen.
emscripten::val runConsole(const emscripten::val& files, const std::string& keys, const emscripten::val& machine) {
  const fivestage::web::ConsoleRun run = fivestage::web::runConsole(inputsOf(files), keys, machineOf(machine));
  emscripten::val result = emscripten::val::object();
  const emscripten::val bytes = emscripten::val(
      emscripten::typed_memory_view(run.output.size(), reinterpret_cast<const unsigned char*>(run.output.data())));
  result.set("stdout", emscripten::val::global("Uint8Array").new_(bytes));
  result.set("status", run.status);
  return result;
}

std::string reportJson(const emscripten::val& files, const emscripten::val& machine) {
  return fivestage::web::reportJson(inputsOf(files), machineOf(machine));
}

std::string compareJson(const emscripten::val& files) { return fivestage::web::compareJson(inputsOf(files)); }

std::string compareTable(const emscripten::val& files, const emscripten::val& shown, bool predictors) {
  return fivestage::web::compareTable(inputsOf(files), machineOf(shown), predictors);
}

std::string exerciseView(const emscripten::val& exercise) { return fivestage::web::exerciseView(jsonOf(exercise)); }

std::string checkAnswer(const emscripten::val& exercise, const std::string& source) {
  return fivestage::web::checkAnswer(jsonOf(exercise), source);
}

std::string answerChoices(const emscripten::val& draft, const std::string& solution) {
  return fivestage::web::answerChoices(jsonOf(draft), solution);
}

// An exercise made from a draft: the registers and words chosen come as the
// page's arrays of numbers.
std::string authorExercise(const emscripten::val& draft, const std::string& solution, const emscripten::val& registers,
                           const emscripten::val& words, bool fromMeaning) {
  // The page's numbers come as 32 bits: embind passes no 64-bit integer.
  const std::vector<std::int32_t> wordNumbers = emscripten::vecFromJSArray<std::int32_t>(words);
  return fivestage::web::authorExercise(jsonOf(draft), solution,
                                        emscripten::vecFromJSArray<fivestage::RegisterNumber>(registers),
                                        {wordNumbers.begin(), wordNumbers.end()}, fromMeaning);
}

}  // namespace

EMSCRIPTEN_BINDINGS(fivestage) {
  emscripten::function("runConsole", &runConsole);
  emscripten::function("energyFiles", &energyFiles);
  emscripten::function("idleFiles", &idleFiles);
  emscripten::function("machineOptions", &machineOptions);
  emscripten::function("reportJson", &Decoded<&reportJson>::call);
  emscripten::function("compareJson", &Decoded<&compareJson>::call);
  emscripten::function("compareTable", &Decoded<&compareTable>::call);
  emscripten::function("exerciseView", &Decoded<&exerciseView>::call);
  emscripten::function("checkAnswer", &Decoded<&checkAnswer>::call);
  emscripten::function("answerChoices", &Decoded<&answerChoices>::call);
  emscripten::function("authorExercise", &Decoded<&authorExercise>::call);
  emscripten::class_<Session>("Session")
      .constructor(&sessionOn, emscripten::allow_raw_pointers())
      .function("opening", &Decoded<&Session::opening>::call)
      .function("view", &viewOf)
      .function("advance", &Session::advance)
      .function("memoryWords", &Decoded<&Session::memoryWords>::call)
      .function("trace", &Decoded<&Session::trace>::call)
      .function("reportPage", &Decoded<&Session::reportPage>::call);
}
