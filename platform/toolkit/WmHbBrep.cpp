#include "platform/toolkit/WmHbBrep.h"

#include "platform/toolkit/WmNURBS.h"

namespace {
// Format version of the holder's stream form.
constexpr int kHbBrepFormat = 1;
constexpr int kMaxParts = 1 << 24;
} // namespace

bool WmHbBrep::appendXtPart(int tag, bool)
{
    try {
        return m_parts.append(tag);
    } catch (const WmError&) {
        return false;
    }
}

bool WmHbBrep::appendXtPart(const WmVecInt& tags, bool)
{
    if (tags.length() == 0) return true;
    try {
        WmVecInt grown(m_parts);
        for (int i = 0; i < tags.length(); ++i) grown.append(tags[i]);
        m_parts = std::move(grown);
    } catch (const WmError&) {
        return false;
    }
    return true;
}

int WmHbBrep::xtPart(int i) const { return i >= 0 && i < m_parts.length() ? m_parts[i] : 0; }

bool WmHbBrep::getXtParts(WmVecInt& tags) const
{
    try {
        return tags.assign(m_parts.data(), m_parts.length());
    } catch (const WmError&) {
        return false;
    }
}

bool WmHbBrep::write(WmObjectStream& s) const
{
    if (!s.write(kHbBrepFormat) || !s.write(m_parts.length())) return false;
    for (int i = 0; i < m_parts.length(); ++i)
        if (!s.write(m_parts[i])) return false;
    return true;
}

bool WmHbBrep::read(WmObjectStream& s)
{
    int format = 0, n = 0;
    if (!s.read(format) || format != kHbBrepFormat || !s.read(n)) return false;
    if (n < 0 || n > kMaxParts || !WmStreamHolds(s, 4LL * n)) return false;
    try {
        WmVecInt read(m_parts);
        for (int i = 0; i < n; ++i) {
            int tag = 0;
            if (!s.read(tag)) return false;
            read.append(tag);
        }
        m_parts = std::move(read);
    } catch (const WmError&) {
        return false;
    }
    return true;
}
