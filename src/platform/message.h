// Messages of the libraries that link no Qt (data/, drive/, input/, the platform's services, the
// tools): a message id with its arguments, formatted by the catalogue in the program's language
// (platform/language.h). The texts are in translations/messages_LANGUAGE.txt, one file a
// language; the Japanese file is the source of the ids, and the build stops when another
// language lacks a message or uses other arguments (cmake/message_catalogue.cpp). In Japanese
// every message is the system's own text, character for character.
//
// Each message has a function of its own, named after its id, that takes its arguments:
//
//   #include "platform/message_ids.h"
//   throw data::LoadError(msg::pictureMissing(name));   // "{1}が見つかりません"
//   std::string shown = msg::pictureMissing(name).text();
//
// An argument is a text shown as it is (a file name, a line of a data file, a station's name),
// a whole number, or another message, formatted in the same language.
#pragma once

#include <concepts>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/language.h"

namespace dravolin::msg {

enum class Id : int;  // platform/message_ids.h, generated from the catalogue
class Message;

class Arg {
 public:
  Arg() = default;  // an empty text
  Arg(std::string text) : value_(std::move(text)) {}
  Arg(std::string_view text) : value_(std::string(text)) {}
  Arg(const char* text) : value_(std::string(text)) {}
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) Arg(T number)
      : value_(static_cast<long long>(number)) {}
  Arg(Message message);

  // The argument as it is shown in `language`.
  std::string text(Language language) const;
  bool operator==(const Arg& other) const;

 private:
  std::variant<std::string, long long, std::shared_ptr<const Message>> value_;
};

class Message {
 public:
  // Prefer the message's own function (message_ids.h), which takes exactly its arguments. A
  // placeholder without an argument stays as it is written ("{2}").
  Message(Id id, std::vector<Arg> args) : id_(id), args_(std::move(args)) {}

  Id id() const { return id_; }
  const std::vector<Arg>& args() const { return args_; }

  // The message in the program's language, UTF-8.
  std::string text() const;
  std::string text(Language language) const;

  bool operator==(const Message& other) const = default;

 private:
  Id id_;
  std::vector<Arg> args_;
};

// The id's name as the catalogue writes it ("LineFileError").
std::string_view idName(Id id);
// The text of `id` in `language` with its placeholders {1}, {2}, ... unreplaced.
std::string_view pattern(Id id, Language language);
// How many arguments `id` takes.
int argumentCount(Id id);
// Whether the catalogue has a file for `language` (the build makes one for every language the
// program offers; a test checks it).
bool hasCatalogue(Language language);

// The tests' pseudo-language: while on, every message is formatted in English with each run of
// the catalogue's own text wrapped in "⟦" and "⟧", so that a text shown without those marks
// has escaped the catalogue. Arguments that are texts (names, file names) stay unwrapped.
void setPseudoTexts(bool on);
bool pseudoTexts();
inline constexpr std::string_view kPseudoOpen = "⟦";
inline constexpr std::string_view kPseudoClose = "⟧";

}  // namespace dravolin::msg
