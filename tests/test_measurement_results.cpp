// The stored results the measuring operations share, under both owners' rules: counts,
// removal order, details, design limits and the block parts with damaged counts.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "operations/APMeasurementResults.h"
#include "element_support.h"

using namespace plenvort_test;

namespace {

using Owner = APMeasurementResults::Owner;

int CountOf(APContributors& c)
{
    int n = -1;
    EXPECT_EQ(c.GetCount(&n), S_OK);
    return n;
}

} // namespace

TEST(MeasurementResults, TheOwnersCountAndRemoveByTheirRules)
{
    for (Owner owner : {Owner::Measurement, Owner::Custom}) {
        const bool custom = owner == Owner::Custom;
        APMeasurementResults r(owner);
        APContributors& main = r.Contributors();
        APContributors& alt = r.Alternates();
        EXPECT_EQ(main.Append("a", 1.0, 5), S_OK);
        EXPECT_EQ(main.Append("b", 2.0), S_OK);
        EXPECT_EQ(CountOf(main), 2);
        EXPECT_EQ(main.ExtendValues(1), S_OK);
        EXPECT_EQ(CountOf(main), 2) << "the main list counts names";
        EXPECT_EQ(alt.Append("x", 3.0), S_OK);
        EXPECT_EQ(alt.ExtendValues(1), S_OK);
        EXPECT_EQ(CountOf(alt), 6) << "the alternate list counts values";

        // Entry 1 has no code: by value it goes with its value and name and then fails; by
        // code it fails at once and keeps everything.
        EXPECT_EQ(main.RemoveAt(1), E_FAIL);
        EXPECT_EQ(main.NameCount(), custom ? 2 : 1);
        EXPECT_EQ(main.ValueCount(), custom ? 7 : 6);
        EXPECT_EQ(main.RemoveAt(-1), E_FAIL);
        EXPECT_EQ(main.RemoveAt(0), S_OK);
        EXPECT_EQ(main.CodeCount(), 0);
        EXPECT_EQ(main.NameCount(), custom ? 1 : 0);

        APMeasurementResults fresh(owner);
        APContributors& codes = fresh.Contributors();
        EXPECT_EQ(codes.Append("c", 1.0, 9), S_OK);
        EXPECT_EQ(codes.RemoveAt(0), S_OK);
        EXPECT_EQ(codes.Append("d", 1.0, 8), S_OK);
        EXPECT_EQ(codes.RemoveAt(0), S_OK);
        EXPECT_EQ(CountOf(codes), 0);
        CString name;
        double value = 0;
        int code = 0;
        EXPECT_EQ(codes.Get(0, name, &value, &code), E_FAIL);
    }
}

TEST(MeasurementResults, CodesWithoutNamesGoWithACustomCountOfNone)
{
    // Codes outlive their names when a removal fails half-way under the measurement rules;
    // the custom count of none clears them.
    for (Owner owner : {Owner::Measurement, Owner::Custom}) {
        APMeasurementResults r(owner);
        APContributors& alt = r.Alternates();
        EXPECT_EQ(alt.Append("a", 1.0, 4), S_OK);
        EXPECT_EQ(alt.ClearValues(), S_OK);
        EXPECT_EQ(alt.ValueCount(), 1) << "values stay while there are names";
        APMeasurementResults loaded(owner);
        Writer w;
        ASSERT_TRUE(alt.WriteCodes(w.out));
        Reader rd(w.bytes.Bytes());
        APContributors& target = loaded.Alternates();
        ASSERT_TRUE(target.ReadCodes(rd.in));
        EXPECT_EQ(target.CodeCount(), 1);
        EXPECT_EQ(CountOf(target), 0);
        EXPECT_EQ(target.CodeCount(), owner == Owner::Custom ? 0 : 1);
    }
}

TEST(MeasurementResults, CustomLimitSettersMarkTheirFlags)
{
    APDesignLimits marking(true), plain(false);
    for (APDesignLimits* l : {&marking, &plain}) {
        int both = -1, low = -1;
        l->SetLow(1.0);
        l->GetFlags(&both);
        l->IsLowSet(&low);
        EXPECT_EQ(both, 0);
        EXPECT_EQ(low, l == &marking ? 1 : 0);
        l->SetHigh(2.0);
        l->GetFlags(&both);
        EXPECT_EQ(both, l == &marking ? 1 : 0);
    }
}

TEST(MeasurementResults, DamagedBlockPartsChangeNothing)
{
    APMeasurementResults r(Owner::Measurement);
    r.SetNumData(2);
    r.SetRawData(1, 4.0);
    r.Contributors().Append("kept", 1.0, 1);
    APDesignLimits limits(false);
    limits.SetLow(3.0);
    limits.SetFlags(1);

    auto bytesOf = [](const std::function<void(WmObjectStream&)>& write) {
        Writer w;
        write(w.out);
        return w.bytes.Bytes();
    };
    const std::function<bool(WmObjectStream&)> reads[] = {
        [&](WmObjectStream& s) { return r.ReadHead(s); },
        [&](WmObjectStream& s) { return r.Contributors().ReadNames(s); },
        [&](WmObjectStream& s) { return r.Contributors().ReadValues(s); },
        [&](WmObjectStream& s) { return r.Contributors().ReadCodes(s); },
    };
    const std::vector<unsigned char> damaged[] = {
        bytesOf([](WmObjectStream& s) { s.write(1), s.write(3), s.write(1.0); }),   // raw data cut short
        bytesOf([](WmObjectStream& s) { s.write(2), s.write(WmString("x")); }),     // one name missing
        bytesOf([](WmObjectStream& s) { s.write(0x10000000), s.write(1.0); }),      // values it cannot hold
        bytesOf([](WmObjectStream& s) { s.write(-1); }),                            // a negative count
    };
    for (int i = 0; i < 4; ++i) {
        Reader rd(damaged[i]);
        EXPECT_FALSE(reads[i](rd.in)) << i;
    }
    int n = 0;
    r.GetNumData(&n);
    EXPECT_EQ(n, 2);
    CString name;
    double value = 0;
    int code = 0;
    EXPECT_EQ(r.Contributors().Get(0, name, &value, &code), S_OK);
    EXPECT_EQ(name, CString("kept"));
    EXPECT_EQ(code, 1);

    auto cut = bytesOf([](WmObjectStream& s) { s.write(1), s.write(9.0), s.write(1); });
    Reader rd(cut);
    EXPECT_FALSE(limits.Read(rd.in));
    double low = 0;
    limits.GetLow(&low);
    EXPECT_EQ(low, 3.0);

    // The head with results stored and no data writes the flag and the count only.
    APMeasurementResults empty(Owner::Custom);
    empty.SetResultsStored(1);
    auto head = bytesOf([&](WmObjectStream& s) { EXPECT_TRUE(empty.WriteHead(s)); });
    EXPECT_EQ(head.size(), 8u);
    Reader back(head);
    ASSERT_TRUE(r.ReadHead(back.in));
    int stored = -1;
    r.GetResultsStored(&stored);
    EXPECT_EQ(stored, 0);
    EXPECT_FALSE(r.HasSection());
}
