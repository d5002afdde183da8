#pragma once
// The toolkit's square matrix of doubles, row-major: element (row, column).
#include <cstddef>
#include <vector>

class WmSquareMatrix {
public:
    static constexpr int kMaxSize = 16;

    // The identity of size n (1 to kMaxSize; anything else gives size 4).
    explicit WmSquareMatrix(int n = 4);

    int size() const { return m_n; }
    double& operator()(int row, int column) { return m_v[static_cast<std::size_t>(row * m_n + column)]; }
    double operator()(int row, int column) const { return m_v[static_cast<std::size_t>(row * m_n + column)]; }
    const double* data() const { return m_v.data(); }

    void setIdentity();
    // Copies size() x size() values, row by row; false when count differs.
    bool set(const double* values, int count);

    // Row vector times matrix: out[j] = sum over i of in[i] * (i, j). in and out hold size()
    // values each and may be the same array.
    void leftMultiply(const double* in, double* out) const;
    // Matrix times column vector: out[i] = sum over j of (i, j) * in[j].
    void rightMultiply(const double* in, double* out) const;
    // this x other; false when the sizes differ.
    bool multiply(const WmSquareMatrix& other, WmSquareMatrix& out) const;

private:
    int m_n;
    std::vector<double> m_v;
};
