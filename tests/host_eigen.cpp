#include "tests/host_eigen.h"

#include <cstddef>

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
