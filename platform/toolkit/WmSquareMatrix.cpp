#include "platform/toolkit/WmSquareMatrix.h"

#include <algorithm>

WmSquareMatrix::WmSquareMatrix(int n) : m_n(n >= 1 && n <= kMaxSize ? n : 4)
{
    m_v.assign(static_cast<size_t>(m_n * m_n), 0.0);
    setIdentity();
}

void WmSquareMatrix::setIdentity()
{
    for (int r = 0; r < m_n; ++r)
        for (int c = 0; c < m_n; ++c) (*this)(r, c) = r == c ? 1.0 : 0.0;
}

bool WmSquareMatrix::set(const double* values, int count)
{
    if (!values || count != m_n * m_n) return false;
    std::copy(values, values + count, m_v.begin());
    return true;
}

void WmSquareMatrix::leftMultiply(const double* in, double* out) const
{
    double r[kMaxSize];
    for (int j = 0; j < m_n; ++j) {
        double sum = 0.0;
        for (int i = 0; i < m_n; ++i) sum += in[i] * (*this)(i, j);
        r[j] = sum;
    }
    std::copy(r, r + m_n, out);
}

void WmSquareMatrix::rightMultiply(const double* in, double* out) const
{
    double r[kMaxSize];
    for (int i = 0; i < m_n; ++i) {
        double sum = 0.0;
        for (int j = 0; j < m_n; ++j) sum += (*this)(i, j) * in[j];
        r[i] = sum;
    }
    std::copy(r, r + m_n, out);
}

bool WmSquareMatrix::multiply(const WmSquareMatrix& other, WmSquareMatrix& out) const
{
    if (other.m_n != m_n) return false;
    WmSquareMatrix r(m_n);
    for (int i = 0; i < m_n; ++i)
        for (int j = 0; j < m_n; ++j) {
            double sum = 0.0;
            for (int k = 0; k < m_n; ++k) sum += (*this)(i, k) * other(k, j);
            r(i, j) = sum;
        }
    out = r;
    return true;
}
