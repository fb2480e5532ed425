#include "platform/message.h"

#include <atomic>

#include "platform/message_ids.h"

namespace dravolin::msg {

// The catalogue's tables (message_catalogue.cpp, generated).
namespace detail {
extern const int kLanguageTextCount;
extern const char* const kLanguageCodes[];
extern const char* const kIdNames[];
extern const int kArgumentCounts[];
extern const char* const* const kTexts[];
}  // namespace detail

namespace {

std::atomic<bool>& pseudo() {
  static std::atomic<bool> on{false};
  return on;
}

// The catalogue file of `language`; the source (Japanese) when there is none.
int catalogueIndex(Language language) {
  for (int i = 0; i < detail::kLanguageTextCount; ++i) {
    if (languageCode(language) == detail::kLanguageCodes[i]) return i;
  }
  return 0;
}

bool validId(Id id) {
  const int i = static_cast<int>(id);
  return i >= 0 && i < kMessageCount;
}

// `pattern` with {1} ... {9} replaced by the arguments; in pseudo mode each run of the
// pattern's own text is wrapped.
std::string format(std::string_view pattern, const std::vector<Arg>& args, Language language,
                   bool wrap) {
  std::string out;
  std::string run;
  const auto flush = [&] {
    if (run.empty()) return;
    if (wrap) out += kPseudoOpen;
    out += run;
    if (wrap) out += kPseudoClose;
    run.clear();
  };
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
        pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (n < args.size()) {
        flush();
        out += args[n].text(language);
        i += 2;
        continue;
      }
    }
    run += pattern[i];
  }
  flush();
  return out;
}

}  // namespace

Arg::Arg(Message message) : value_(std::make_shared<const Message>(std::move(message))) {}

std::string Arg::text(Language language) const {
  if (const auto* s = std::get_if<std::string>(&value_)) return *s;
  if (const auto* n = std::get_if<long long>(&value_)) return std::to_string(*n);
  return std::get<std::shared_ptr<const Message>>(value_)->text(language);
}

bool Arg::operator==(const Arg& other) const {
  if (value_.index() != other.value_.index()) return false;
  if (const auto* m = std::get_if<std::shared_ptr<const Message>>(&value_)) {
    return **m == *std::get<std::shared_ptr<const Message>>(other.value_);
  }
  return value_ == other.value_;
}

std::string Message::text() const { return text(currentLanguage()); }

std::string Message::text(Language language) const {
  const bool wrap = pseudoTexts();
  return format(pattern(id_, wrap ? Language::English : language), args_, language, wrap);
}

std::string_view idName(Id id) { return validId(id) ? detail::kIdNames[static_cast<int>(id)] : ""; }

std::string_view pattern(Id id, Language language) {
  if (!validId(id)) return {};
  return detail::kTexts[catalogueIndex(language)][static_cast<int>(id)];
}

int argumentCount(Id id) { return validId(id) ? detail::kArgumentCounts[static_cast<int>(id)] : 0; }

bool hasCatalogue(Language language) {
  for (int i = 0; i < detail::kLanguageTextCount; ++i) {
    if (languageCode(language) == detail::kLanguageCodes[i]) return true;
  }
  return false;
}

void setPseudoTexts(bool on) { pseudo().store(on, std::memory_order_relaxed); }

bool pseudoTexts() { return pseudo().load(std::memory_order_relaxed); }

}  // namespace dravolin::msg
