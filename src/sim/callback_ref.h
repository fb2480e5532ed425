// A non-owning reference to something callable with no arguments, such as a lambda that calls
// the drive's handle display. It costs two pointers, never allocates, and must not outlive the
// callable it refers to: pass it down a call, do not keep it.
#pragma once

#include <concepts>
#include <type_traits>

namespace dravolin::sim {

class CallbackRef {
 public:
  template <class F>
  requires std::invocable<F&> &&(!std::same_as<std::remove_cvref_t<F>, CallbackRef>)
      CallbackRef(F&& f)  // NOLINT(google-explicit-constructor): passed as a plain argument
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* o) { (*static_cast<std::remove_reference_t<F>*>(o))(); }) {}

  void operator()() const { call_(object_); }

 private:
  void* object_;
  void (*call_)(void*);
};

}  // namespace dravolin::sim
