#pragma once
// No C++ exception leaves the module: it runs inside a host process that
// knows nothing of them, and an exception crossing a COM method or an export
// would end that process. The only exception the module's own code can meet
// is std::bad_alloc, from a standard container that could not grow.
//
// The policy, for the whole module: every entry from outside (COM methods,
// class-factory methods, exports) runs its body through CallNoThrow, which
// turns any exception into the failure code of that route's error domain
// (E_OUTOFMEMORY for HRESULT routes, ERROR_NOT_ENOUGH_MEMORY for the service
// side's Win32 codes). What a request acquires is held by owners, so the
// unwinding that reaches the boundary has already released it.

template <typename Result, typename Body>
Result CallNoThrow(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}
