// A voice for the Wine tests, where the system's own cannot speak: an
// in-process COM server of "SAPI.SpVoice" whose Speak writes down what it was
// given and takes a few milliseconds per character, as a voice takes its
// time. Every line goes to the file that KEELMARK_VOICE_LOG names:
//   made THREAD APARTMENT         a voice object was made (apartment as APTTYPE)
//   speak MILLISECONDS FLAGS THREAD TEXT    (flags in hex, text in UTF-8)
//   slot N                        any other method of the voice was called
//   released                      the last reference to the voice went
// Only ISpVoice is answered; the game needs nothing else of a voice.

// The interfaces as C structures, so that the table of methods can be filled
// slot by slot and its order checked against the SDK's header.
#define CINTERFACE
#include <windows.h>
#include <objbase.h>
// ISpVoice as the SDK header sapi51.h gives it.
#define _SAPI_VER 0x51
#include <sapi.h>

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

static_assert(offsetof(ISpVoiceVtbl, Speak) == 20 * sizeof(void*), "Speak is the voice's 21st method");
static_assert(sizeof(ISpVoiceVtbl) == 38 * sizeof(void*), "ISpVoice has 38 methods");

namespace {

constexpr DWORD millisecondsPerCharacter = 3;

void Log(const char* format, ...) {
  const char* path = std::getenv("KEELMARK_VOICE_LOG");
  if (path == nullptr) return;
  std::FILE* file = std::fopen(path, "ab");
  if (file == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file, format, arguments);
  va_end(arguments);
  std::fclose(file);
}

struct RecordingVoice {
  ISpVoice face;  // first, so that the wanted pointer is the object's
  LONG references;
};

RecordingVoice* VoiceOf(ISpVoice* face) { return reinterpret_cast<RecordingVoice*>(face); }

bool Answers(REFIID wanted) {
  return IsEqualIID(wanted, IID_IUnknown) || IsEqualIID(wanted, IID_ISpVoice);
}

HRESULT STDMETHODCALLTYPE QueryVoice(ISpVoice* face, REFIID wanted, void** object) {
  *object = nullptr;
  if (!Answers(wanted)) return E_NOINTERFACE;
  InterlockedIncrement(&VoiceOf(face)->references);
  *object = face;
  return S_OK;
}

ULONG STDMETHODCALLTYPE AddVoiceReference(ISpVoice* face) {
  return static_cast<ULONG>(InterlockedIncrement(&VoiceOf(face)->references));
}

ULONG STDMETHODCALLTYPE ReleaseVoice(ISpVoice* face) {
  const LONG left = InterlockedDecrement(&VoiceOf(face)->references);
  if (left == 0) {
    Log("released\n");
    delete VoiceOf(face);
  }
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE Speak(ISpVoice*, LPCWSTR text, DWORD flags, ULONG* streamNumber) {
  const int length = text == nullptr ? 0 : lstrlenW(text);
  std::string utf8;
  if (length > 0) {
    utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr)));
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  }
  Log("speak %llu %lx %lu %s\n", static_cast<unsigned long long>(GetTickCount64()), static_cast<unsigned long>(flags),
      static_cast<unsigned long>(GetCurrentThreadId()), utf8.c_str());
  Sleep(millisecondsPerCharacter * static_cast<DWORD>(length));
  if (streamNumber != nullptr) *streamNumber = 1;
  return S_OK;
}

// Every method the game has no business calling. All of them take the object
// first and return through a register on x64, so one body fits every slot.
template <std::size_t slot>
HRESULT STDMETHODCALLTYPE Unexpected(ISpVoice*) {
  Log("slot %u\n", static_cast<unsigned>(slot));
  return E_NOTIMPL;
}

template <std::size_t... slot>
ISpVoiceVtbl MakeMethods(std::index_sequence<slot...>) {
  const std::array<void*, sizeof...(slot)> unexpected{reinterpret_cast<void*>(&Unexpected<slot>)...};
  ISpVoiceVtbl methods;
  std::memcpy(&methods, unexpected.data(), sizeof methods);
  methods.QueryInterface = QueryVoice;
  methods.AddRef = AddVoiceReference;
  methods.Release = ReleaseVoice;
  methods.Speak = Speak;
  return methods;
}

ISpVoiceVtbl voiceMethods = MakeMethods(std::make_index_sequence<sizeof(ISpVoiceVtbl) / sizeof(void*)>());

// The one factory, which lives as long as the DLL.
HRESULT STDMETHODCALLTYPE QueryFactory(IClassFactory* factory, REFIID wanted, void** object) {
  if (IsEqualIID(wanted, IID_IUnknown) || IsEqualIID(wanted, IID_IClassFactory)) {
    *object = factory;
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE KeepFactory(IClassFactory*) { return 1; }
HRESULT STDMETHODCALLTYPE MakeVoice(IClassFactory*, IUnknown* outer, REFIID wanted, void** object) {
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (!Answers(wanted)) return E_NOINTERFACE;
  auto* voice = new RecordingVoice{{&voiceMethods}, 1};
  APTTYPE apartment = APTTYPE_CURRENT;
  APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
  if (FAILED(CoGetApartmentType(&apartment, &qualifier))) apartment = APTTYPE_CURRENT;
  Log("made %lu %d\n", static_cast<unsigned long>(GetCurrentThreadId()), static_cast<int>(apartment));
  *object = &voice->face;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE LockFactory(IClassFactory*, BOOL) { return S_OK; }

IClassFactoryVtbl factoryMethods = {QueryFactory, KeepFactory, KeepFactory, MakeVoice, LockFactory};
IClassFactory factory = {&factoryMethods};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID wanted, void** object) {
  return QueryFactory(&factory, wanted, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_FALSE; }
