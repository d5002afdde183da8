#pragma once
// Holder of solid-modeller part tags, the form in which such parts travel through an object
// stream. Reference counted: made with one reference, freed by the last release.
#include "platform/toolkit/WmObjectStream.h"
#include "platform/toolkit/WmPlatform.h"
#include "platform/toolkit/WmVec.h"

class WmHbBrep : public WmRefCounted {
public:
    WmHbBrep() = default;
    WmHbBrep(const WmHbBrep&) = delete;
    WmHbBrep& operator=(const WmHbBrep&) = delete;

    // Appends part tags in order. The holder only lists the tags; the parts stay the
    // modeller's whatever `transmitOwned` says.
    bool appendXtPart(int tag, bool transmitOwned = false);
    bool appendXtPart(const WmVecInt& tags, bool transmitOwned = false);

    int numXtParts() const { return m_parts.length(); }
    // The tag at i; 0 out of range.
    int xtPart(int i) const;
    bool getXtParts(WmVecInt& tags) const;

    // Object-stream form; read() appends nothing unless the whole list was read.
    bool write(WmObjectStream& s) const;
    bool read(WmObjectStream& s);

protected:
    ~WmHbBrep() override = default;

private:
    WmVecInt m_parts;
};
