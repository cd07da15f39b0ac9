// Public interface of the Z80 processor library (libZ80.so).
//
// A host allocates a TZ80Object, fills it with Z80_Create and passes its
// address to every export. The library owns everything the record points to.
// On 64 bits both records keep the field order of the original packed layout
// with natural alignment; the offsets are checked below so host and library
// cannot drift apart.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#if defined(__GNUC__)
#define Z80_EXPORT __attribute__((visibility("default")))
#else
#define Z80_EXPORT
#endif

// ---------------------------------------------------------------------------
// Callbacks. Addresses and ports are 16-bit values widened to 32 bits.
// ---------------------------------------------------------------------------
extern "C" {
typedef uint8_t (*TZ80FetchProc)(uint32_t address, void* user);
typedef uint8_t (*TZ80ReadProc)(uint32_t address, void* user);
typedef void (*TZ80WriteProc)(uint32_t address, uint8_t value, void* user);
typedef uint8_t (*TZ80PortInProc)(uint32_t port, void* user);
typedef void (*TZ80PortOutProc)(uint32_t port, uint8_t value, void* user);
typedef void (*TZ80IntCheckProc)(void* user);
typedef void (*TZ80AfterStepProc)(uint32_t ticks, void* user);
typedef void (*TZ80BreakpointProc)(void* user);
}

// Byte flags: 0 is clear, anything else is set. The core writes 0xFF for set;
// whoever sets IntLine, IFF1 or IFF2 writes an odd value (LD A,I looks at bit 0).
inline constexpr uint8_t Z80_FLAG_SET = 0xFF;

// The request bytes. The host raises ResetPending, IntLine, NmiPending and
// sets IntVector, possibly from another thread, so those four are atomics.
// The rest belongs to the stepping thread.
struct TZ80Requests {
  std::atomic<uint8_t> ResetPending;  // one-shot, cleared by the step that resets
  std::atomic<uint8_t> IntLine;       // level of /INT; only the host changes it
  std::atomic<uint8_t> NmiPending;    // one-shot, cleared when accepted
  std::atomic<uint8_t> IntVector;     // data bus byte during acknowledge (IM 2)
  uint8_t Halted;
  uint8_t IFF1;
  uint8_t IFF2;
  uint32_t IM;       // 0, 1 or 2; 2 and above act as mode 2
  uint8_t AfterEI;   // the step after EI ignores the interrupt line
  // Index prefix (0xDD or 0xFD) still in force when a step ended inside an
  // over-long run of prefixes; the next step takes no request before it
  // finishes the instruction. 0 when the last step ended on an instruction.
  uint8_t PrefixRun;
  // The library's own, not the host's: what a single step must do after the
  // instruction besides releasing Busy (call OnAfterStep, refresh the shown
  // debugger window). Beside AfterEI and PrefixRun, so that the step's one
  // test of what it carries over covers it too, and the usual single step
  // ends with nothing more to ask.
  std::atomic<uint8_t> StepObservers;
  uint32_t Ticks;    // T-states of the current step so far; after it, its total
};

struct TZ80State {
  uint16_t PC;
  uint16_t SP;
  uint16_t IR;  // R low byte, I high byte
  uint16_t AF;  // F low byte, A high byte
  uint16_t HL;
  uint16_t DE;
  uint16_t BC;
  uint16_t _AF;
  uint16_t _HL;
  uint16_t _DE;
  uint16_t _BC;
  uint16_t IX;
  uint16_t IY;
  TZ80Requests Req;
  void* UserData;
  TZ80FetchProc OnFetch;
  TZ80ReadProc OnRead;
  TZ80WriteProc OnWrite;
  TZ80PortInProc OnPortIn;
  TZ80PortOutProc OnPortOut;
  TZ80IntCheckProc OnIntCheck;
};

struct TZ80BreakpointList;  // owned by the library
class TCPUWindow;           // the instance's debugger window, owned by the library

enum Z80Result : int32_t {
  Z80_OK = 0,
  Z80_ALREADY_REGISTERED = 1,
  Z80_BUSY = 2,
  Z80_INVALID_OBJECT = 3,
  Z80_RUNNING = 4,
  Z80_NOT_RUNNING = 5,
  Z80_THREAD_NOT_CREATED = 6,
};

// The instance record. The host owns it (usually inside its machine object);
// Z80_Create fills it. Fields from StateRecord on belong to the library.
struct TZ80Object {
  TZ80Requests* RequestLines = nullptr;  // the request bytes of State
  TZ80State* State = nullptr;
  char Name[64] = {};
  uint8_t Reserved[64] = {};
  TZ80State* StateRecord = nullptr;  // null: no live instance
  TZ80AfterStepProc OnAfterStep = nullptr;
  TZ80BreakpointProc OnBreakpoint = nullptr;
  std::atomic<uint8_t> Running{0};
  std::atomic<uint8_t> Busy{0};
  std::atomic<uint8_t> StopRequest{0};
  std::atomic<uint8_t> InStep{0};
  std::atomic<uint8_t> StopAck{0};
  std::atomic<int32_t> SkipBreakAddress{-1};
  std::atomic<uint8_t> HasBreakpoints{0};
  std::atomic<uint8_t> BreakpointHit{0};
  TZ80BreakpointList* Breakpoints = nullptr;
  std::thread ThreadHandle;
  std::thread::id ThreadId;
  TCPUWindow* Form = nullptr;
  // Set by Z80_Create: stops and destroys a live instance whose record goes
  // away (a static record at exit, a record on the stack), so that its run
  // thread never outlives the record. Called through this pointer so that a
  // host that loads the library at run time needs none of its symbols.
  void (*Release)(TZ80Object* object) = nullptr;

  TZ80Object() = default;
  TZ80Object(const TZ80Object&) = delete;
  TZ80Object& operator=(const TZ80Object&) = delete;
  ~TZ80Object() {
    if (StateRecord && Release) Release(this);
  }
};

// ---------------------------------------------------------------------------
// Exports.
// ---------------------------------------------------------------------------
extern "C" {
Z80_EXPORT Z80Result Z80_Create(const char* name, TZ80FetchProc onFetch, TZ80ReadProc onRead,
                                TZ80WriteProc onWrite, TZ80PortInProc onPortIn,
                                TZ80PortOutProc onPortOut, TZ80IntCheckProc onIntCheck,
                                TZ80AfterStepProc onAfterStep, TZ80BreakpointProc onBreakpoint,
                                void* userData, TZ80Object* object);
// Waits while another thread works on the instance (an export, the status
// tick, the debugger window's refresh); the exports that thread calls
// meanwhile are refused as busy. Called back on the same thread from inside
// the library's own work (a callback of the run thread, of a single step or
// a step-over, the step-over's question, the breakpoint hand-over of the
// status tick, anything the debugger window does, its refreshes, keys, menu
// items, edits and paints included) it returns 2 without a box and changes
// nothing: destroy once that work has returned.
// The debugger window, a widget of the GUI thread under a QApplication, is
// deleted at once when the destroy runs on that thread. On any other thread
// it is detached from the instance (its timer, paints and handlers find none
// from then on) and its deletion is posted to the GUI thread's event loop,
// never waited for: that thread may itself be waiting in Z80_Stop. With the
// application object gone or closing down, the window is left undeleted.
// Either way, once 0 is returned nothing of the library reads the record or
// the instance again, and the host may reuse or free the record.
Z80_EXPORT Z80Result Z80_Destroy(TZ80Object* object);
Z80_EXPORT Z80Result Z80_ExecCycle(TZ80Object* object);
Z80_EXPORT Z80Result Z80_ExecOver(TZ80Object* object);
Z80_EXPORT Z80Result Z80_Start(TZ80Object* object);
Z80_EXPORT Z80Result Z80_Stop(TZ80Object* object);
Z80_EXPORT Z80Result Z80_ShowCPU(TZ80Object* object);
// 2 busy, 1 running, 0 stopped.
Z80_EXPORT int32_t Z80_IsRunning(TZ80Object* object);

// Hosting without a GUI event loop: runs the debugger window's status tick
// (hands a breakpoint stop to OnBreakpoint) once, on the caller's thread.
Z80_EXPORT void Z80_StatusTick(TZ80Object* object);
// Stops and destroys every registered instance. Runs by itself when the
// library is unloaded; a host with a GUI calls it before the GUI goes away.
Z80_EXPORT void Z80_Shutdown(void);
}

// ---------------------------------------------------------------------------
// Layout checks.
// ---------------------------------------------------------------------------
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
static_assert(offsetof(TZ80State, PC) == 0);
static_assert(offsetof(TZ80State, IR) == 4);
static_assert(offsetof(TZ80State, AF) == 6);
static_assert(offsetof(TZ80State, BC) == 12);
static_assert(offsetof(TZ80State, _BC) == 20);
static_assert(offsetof(TZ80State, IY) == 24);
static_assert(offsetof(TZ80State, Req) == 28);  // the request record aligns to its u32 fields
static_assert(offsetof(TZ80Requests, IntLine) == 1);
static_assert(offsetof(TZ80Requests, IntVector) == 3);
static_assert(offsetof(TZ80Requests, IFF2) == 6);
static_assert(offsetof(TZ80Requests, IM) == 8);
static_assert(offsetof(TZ80Requests, AfterEI) == 12);
static_assert(offsetof(TZ80Requests, Ticks) == 16);
static_assert(offsetof(TZ80State, UserData) > offsetof(TZ80State, Req));
static_assert(offsetof(TZ80State, OnFetch) > offsetof(TZ80State, UserData));
static_assert(offsetof(TZ80State, OnIntCheck) > offsetof(TZ80State, OnPortOut));
static_assert(offsetof(TZ80Object, State) == sizeof(void*));
static_assert(offsetof(TZ80Object, Name) == 2 * sizeof(void*));
static_assert(offsetof(TZ80Object, StateRecord) == 2 * sizeof(void*) + 128);
static_assert(offsetof(TZ80Object, Running) > offsetof(TZ80Object, OnBreakpoint));
static_assert(offsetof(TZ80Object, SkipBreakAddress) > offsetof(TZ80Object, StopAck));
static_assert(offsetof(TZ80Object, Breakpoints) > offsetof(TZ80Object, BreakpointHit));
static_assert(offsetof(TZ80Object, Form) > offsetof(TZ80Object, ThreadId));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
