#include "tests/host_eigen.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

// gfortran's calling convention: every argument by address, then the hidden
// lengths of the two character arguments.
extern "C" void dgeev_(const char* jobvl, const char* jobvr, const int32_t* n, double* a, const int32_t* lda,
                       double* wr, double* wi, double* vl, const int32_t* ldvl, double* vr, const int32_t* ldvr,
                       double* work, const int32_t* lwork, int32_t* info, size_t jobvlLength, size_t jobvrLength);

namespace testhost {

namespace {

void lapackEigen(const char* jobvl, const char* jobvr, const int32_t* n, double* a, const int32_t* lda, double* wr,
                 double* wi, double* vl, const int32_t* ldvl, double* vr, const int32_t* ldvr, double* work,
                 const int32_t* lwork, int32_t* info) {
    dgeev_(jobvl, jobvr, n, a, lda, wr, wi, vl, ldvl, vr, ldvr, work, lwork, info, 1, 1);
}

ZRT_LinAlgTable g_table{lapackEigen};

}  // namespace

ZRT_LinAlgTable* lapackTable() { return &g_table; }

}  // namespace testhost

// LAPACK's error handler for an illegal argument. Its own prints a line and
// ends the program with status 0, which would pass for success in the middle
// of a test; this one takes its place (a definition in the program comes
// before the library's, so it must be visible to it) and fails the running
// test. The routine then returns with its status word set. (The Windows
// build has no LAPACK: its stand-in routine reports nothing.)
#ifndef _WIN32
extern "C" __attribute__((visibility("default"))) void xerbla_(const char* routine, const int32_t* position,
                                                               size_t routineLength) {
    std::string name(routine, routineLength);
    name.erase(name.find_last_not_of(' ') + 1);
    ADD_FAILURE() << name << " parameter number " << *position << " had an illegal value";
}
#endif
