// The test host's eigenvalue routine where no LAPACK is at hand (the Windows
// build): dgeev_ for eigenvalues only, by reduction to upper Hessenberg form
// with Gaussian elimination and pivoting, then the shifted double-step QR
// iteration. It answers info -1 or -2 for a job that asks for eigenvectors,
// a positive info when an eigenvalue does not converge.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

// A column-major matrix seen with indices from 1, as the algorithm reads.
class Matrix {
public:
    Matrix(double* a, int32_t lda) : a_(a), lda_(lda) {}
    double& operator()(int32_t row, int32_t col) {
        return a_[static_cast<ptrdiff_t>(col - 1) * lda_ + (row - 1)];
    }

private:
    double* a_;
    int32_t lda_;
};

double withSign(double magnitude, double sign) { return sign >= 0.0 ? std::fabs(magnitude) : -std::fabs(magnitude); }

void reduceToHessenberg(Matrix& a, int32_t n) {
    for (int32_t m = 2; m < n; ++m) {
        double pivot = 0.0;
        int32_t pivotRow = m;
        for (int32_t j = m; j <= n; ++j) {
            if (std::fabs(a(j, m - 1)) > std::fabs(pivot)) {
                pivot = a(j, m - 1);
                pivotRow = j;
            }
        }
        if (pivotRow != m) {
            for (int32_t j = m - 1; j <= n; ++j) {
                std::swap(a(pivotRow, j), a(m, j));
            }
            for (int32_t j = 1; j <= n; ++j) {
                std::swap(a(j, pivotRow), a(j, m));
            }
        }
        if (pivot != 0.0) {
            for (int32_t i = m + 1; i <= n; ++i) {
                double y = a(i, m - 1);
                if (y != 0.0) {
                    y /= pivot;
                    a(i, m - 1) = 0.0;
                    for (int32_t j = m; j <= n; ++j) {
                        a(i, j) -= y * a(m, j);
                    }
                    for (int32_t j = 1; j <= n; ++j) {
                        a(j, m) += y * a(j, i);
                    }
                }
            }
        }
    }
}

// Eigenvalues of the upper Hessenberg matrix into wr, wi;
// false when one takes more than 30 iterations.
bool hessenbergEigenvalues(Matrix& a, int32_t n, double* wr, double* wi) {
    double norm = 0.0;
    for (int32_t i = 1; i <= n; ++i) {
        for (int32_t j = (i > 1 ? i - 1 : 1); j <= n; ++j) {
            norm += std::fabs(a(i, j));
        }
    }
    int32_t nn = n;
    double shift = 0.0;
    double p = 0.0, q = 0.0, r = 0.0, s = 0.0, w = 0.0, x = 0.0, y = 0.0, z = 0.0;
    while (nn >= 1) {
        int32_t its = 0;
        int32_t l = 0;
        do {
            // A negligible subdiagonal element splits the matrix.
            for (l = nn; l >= 2; --l) {
                s = std::fabs(a(l - 1, l - 1)) + std::fabs(a(l, l));
                if (s == 0.0) {
                    s = norm;
                }
                if (std::fabs(a(l, l - 1)) + s == s) {
                    a(l, l - 1) = 0.0;
                    break;
                }
            }
            x = a(nn, nn);
            if (l == nn) {  // one root found
                wr[nn - 1] = x + shift;
                wi[nn - 1] = 0.0;
                --nn;
            } else {
                y = a(nn - 1, nn - 1);
                w = a(nn, nn - 1) * a(nn - 1, nn);
                if (l == nn - 1) {  // two roots found
                    p = 0.5 * (y - x);
                    q = p * p + w;
                    z = std::sqrt(std::fabs(q));
                    x += shift;
                    if (q >= 0.0) {
                        z = p + withSign(z, p);
                        wr[nn - 2] = wr[nn - 1] = x + z;
                        if (z != 0.0) {
                            wr[nn - 1] = x - w / z;
                        }
                        wi[nn - 2] = wi[nn - 1] = 0.0;
                    } else {
                        wr[nn - 2] = wr[nn - 1] = x + p;
                        wi[nn - 2] = -z;
                        wi[nn - 1] = z;
                    }
                    nn -= 2;
                } else {
                    if (its == 30) {
                        return false;
                    }
                    if (its == 10 || its == 20) {  // exceptional shift
                        shift += x;
                        for (int32_t i = 1; i <= nn; ++i) {
                            a(i, i) -= x;
                        }
                        s = std::fabs(a(nn, nn - 1)) + std::fabs(a(nn - 1, nn - 2));
                        y = x = 0.75 * s;
                        w = -0.4375 * s * s;
                    }
                    ++its;
                    // Two consecutive small subdiagonal elements.
                    int32_t m = nn - 2;
                    for (; m >= l; --m) {
                        z = a(m, m);
                        r = x - z;
                        s = y - z;
                        p = (r * s - w) / a(m + 1, m) + a(m, m + 1);
                        q = a(m + 1, m + 1) - z - r - s;
                        r = a(m + 2, m + 1);
                        s = std::fabs(p) + std::fabs(q) + std::fabs(r);
                        p /= s;
                        q /= s;
                        r /= s;
                        if (m == l) {
                            break;
                        }
                        const double u = std::fabs(a(m, m - 1)) * (std::fabs(q) + std::fabs(r));
                        const double v = std::fabs(p) * (std::fabs(a(m - 1, m - 1)) + std::fabs(z) +
                                                         std::fabs(a(m + 1, m + 1)));
                        if (u + v == v) {
                            break;
                        }
                    }
                    for (int32_t i = m + 2; i <= nn; ++i) {
                        a(i, i - 2) = 0.0;
                        if (i != m + 2) {
                            a(i, i - 3) = 0.0;
                        }
                    }
                    // The double QR step on rows l..nn and columns m..nn.
                    for (int32_t k = m; k <= nn - 1; ++k) {
                        if (k != m) {
                            p = a(k, k - 1);
                            q = a(k + 1, k - 1);
                            r = k != nn - 1 ? a(k + 2, k - 1) : 0.0;
                            x = std::fabs(p) + std::fabs(q) + std::fabs(r);
                            if (x != 0.0) {
                                p /= x;
                                q /= x;
                                r /= x;
                            }
                        }
                        s = withSign(std::sqrt(p * p + q * q + r * r), p);
                        if (s != 0.0) {
                            if (k == m) {
                                if (l != m) {
                                    a(k, k - 1) = -a(k, k - 1);
                                }
                            } else {
                                a(k, k - 1) = -s * x;
                            }
                            p += s;
                            x = p / s;
                            y = q / s;
                            z = r / s;
                            q /= p;
                            r /= p;
                            for (int32_t j = k; j <= nn; ++j) {
                                p = a(k, j) + q * a(k + 1, j);
                                if (k != nn - 1) {
                                    p += r * a(k + 2, j);
                                    a(k + 2, j) -= p * z;
                                }
                                a(k + 1, j) -= p * y;
                                a(k, j) -= p * x;
                            }
                            const int32_t last = nn < k + 3 ? nn : k + 3;
                            for (int32_t i = l; i <= last; ++i) {
                                p = x * a(i, k) + y * a(i, k + 1);
                                if (k != nn - 1) {
                                    p += z * a(i, k + 2);
                                    a(i, k + 2) -= p * r;
                                }
                                a(i, k + 1) -= p * q;
                                a(i, k) -= p;
                            }
                        }
                    }
                }
            }
        } while (l < nn - 1);
    }
    return true;
}

}  // namespace

extern "C" void dgeev_(const char* jobvl, const char* jobvr, const int32_t* n, double* a, const int32_t* lda,
                       double* wr, double* wi, double*, const int32_t*, double*, const int32_t*, double*,
                       const int32_t*, int32_t* info, size_t, size_t) {
    if (*jobvl != 'N' && *jobvl != 'n') {
        *info = -1;
        return;
    }
    if (*jobvr != 'N' && *jobvr != 'n') {
        *info = -2;
        return;
    }
    if (*n < 0 || *lda < (*n > 1 ? *n : 1)) {
        *info = *n < 0 ? -3 : -5;
        return;
    }
    Matrix matrix(a, *lda);
    reduceToHessenberg(matrix, *n);
    *info = hessenbergEigenvalues(matrix, *n, wr, wi) ? 0 : 1;
}
