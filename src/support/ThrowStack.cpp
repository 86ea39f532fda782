#include "ThrowStack.h"

#include <atomic>
#include <boost/stacktrace.hpp>
#include <cstring>
#include <cxxabi.h>
#include <dlfcn.h>
#include <typeinfo>

namespace {

constexpr int kMaxFrames = 64;
constexpr int kRecords = 16;

// One recorded throw: the thrown object and the return addresses at that moment. Plain data: the
// recorder allocates nothing (the throw may be a std::bad_alloc).
struct TThrowRecord {
    const void* Object = nullptr;
    int Count = 0;
    void* Frames[kMaxFrames];
};

struct TThreadRecords {
    TThrowRecord Records[kRecords];
    unsigned Next = 0;
    bool Busy = false; // a throw while recording one (never expected) is not recorded
};

thread_local TThreadRecords threadRecords;
std::atomic<bool> recording{false};

using TCxaThrow = void (*)(void*, std::type_info*, void (*)(void*));

TCxaThrow RealCxaThrow() {
    static const auto real = reinterpret_cast<TCxaThrow>(::dlsym(RTLD_NEXT, "__cxa_throw"));
    return real;
}

__attribute__((noinline)) void Record(void* object) {
    TThreadRecords& t = threadRecords;
    if (t.Busy) return;
    t.Busy = true;
    TThrowRecord& r = t.Records[t.Next % kRecords];
    ++t.Next;
    r.Object = object;
    // Skips the recorder and __cxa_throw: the first frame is the function that threw.
    r.Count = static_cast<int>(boost::stacktrace::safe_dump_to(2, r.Frames, sizeof r.Frames));
    // safe_dump_to ends the list with a null address when it has room.
    while (r.Count > 0 && r.Frames[r.Count - 1] == nullptr)
        --r.Count;
    t.Busy = false;
}

std::vector<std::string> FrameTexts(const void* const* frames, int count) {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const boost::stacktrace::frame frame(frames[i]);
        std::string text = boost::stacktrace::to_string(frame);
        if (text.empty()) text = "??";
        lines.push_back(std::move(text));
    }
    return lines;
}

// The thrown object of an exception_ptr: libstdc++ (and libc++) keep exactly that pointer.
const void* ThrownObject(const std::exception_ptr& error) {
    static_assert(sizeof(std::exception_ptr) == sizeof(void*));
    const void* object = nullptr;
    std::memcpy(&object, &error, sizeof object);
    return object;
}

} // namespace

// Every C++ throw of this program passes here (the runtime's entry, interposed): its stack is
// recorded, then the runtime throws as usual.
namespace __cxxabiv1 {
extern "C" void __cxa_throw(void* object, std::type_info* type,
                            void(_GLIBCXX_CDTOR_CALLABI* destroy)(void*)) {
    if (recording.load(std::memory_order_relaxed)) Record(object);
    RealCxaThrow()(object, type, destroy);
    __builtin_unreachable();
}
} // namespace __cxxabiv1

void RecordThrowStacks() {
    RealCxaThrow();
    recording = true;
}

std::vector<std::string> ThrowStackOf(const std::exception_ptr& error) {
    const void* object = ThrownObject(error);
    if (!object) return {};
    const TThreadRecords& t = threadRecords;
    // The newest record of that object: an object may be rethrown (not recorded again) or, freed
    // and reused, thrown anew.
    for (unsigned i = 0; i < kRecords && i < t.Next; ++i) {
        const TThrowRecord& r = t.Records[(t.Next - 1 - i) % kRecords];
        if (r.Object == object) return FrameTexts(r.Frames, r.Count);
    }
    return {};
}

std::vector<std::string> CurrentStack(int skip) {
    void* frames[kMaxFrames];
    const std::size_t bytes =
        boost::stacktrace::safe_dump_to(static_cast<std::size_t>(skip) + 1, frames, sizeof frames);
    int count = static_cast<int>(bytes / sizeof(void*));
    while (count > 0 && frames[count - 1] == nullptr)
        --count;
    return FrameTexts(frames, count);
}

std::string ExceptionMessage(const std::exception_ptr& error) {
    if (!error) return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (const char* text) {
        return text ? text : "";
    } catch (const std::string& text) {
        return text;
    } catch (...) {
        return "unknown exception";
    }
}
