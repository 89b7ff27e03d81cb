#pragma once
// Run-length code of 16-bit values in two streams, the form in which undo snapshots keep
// voxels.
//
// The value stream holds 16-bit values, the control stream one byte per run:
//  - a control below 128 announces a literal run: the next (control & 127) values of the
//    value stream are taken one by one;
//  - a control of 128 or more announces a repeat run: the next value of the value stream
//    is repeated (control & 127) times.
// Runs are 1 to 127 values long. The encoder makes a repeat run of every two or more equal
// values in a row; a literal run gives up its last value to a repeat run that starts on it.
// Examples: 5 5 5 7 -> controls 0x83 1, values 5 7; 1 2 2 -> controls 1 0x82, values 1 2.
//
// Encoding is incremental: begin, then encode any number of spans (the state carries over
// from one span to the next, so a volume is encoded row by row), then finish.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace data {

class CRunLengthCode
{
public:
    static constexpr int MAX_RUN = 127;
    static constexpr std::uint8_t REPEAT = 0x80;
    //! Stream reservation used when the caller's hint is 0.
    static constexpr std::int64_t DEFAULT_HINT = 100000;

    CRunLengthCode() = default;

    //! Empties both streams and reserves (hint / 2 + 1) entries in each; a hint of 0 counts
    //! as DEFAULT_HINT. A negative hint leaves the code empty and unable to encode (encode
    //! then does nothing) and returns false.
    bool begin(std::int64_t hint);

    //! Appends `count` values in order.
    void encode(const std::uint16_t* values, std::size_t count);
    void encode(std::uint16_t value) { encode(&value, 1); }

    //! Ends encoding: both streams are shrunk to their content.
    void finish();

    //! Drops everything.
    void clear();

    //! Bytes held: 2 per value plus 1 per control.
    std::size_t getDataSize() const { return m_values.size() * sizeof(std::uint16_t) + m_controls.size(); }
    //! Number of values encoded since begin.
    std::size_t getEncodedCount() const { return m_encodedCount; }

    const std::vector<std::uint16_t>& getValues() const { return m_values; }
    const std::vector<std::uint8_t>& getControls() const { return m_controls; }

    //! Reads a code back in order, span by span. The code must outlive the decoder and not
    //! change meanwhile. A code whose streams do not match (a literal run that promises more
    //! values than remain) ends where the values end.
    class CDecoder
    {
    public:
        explicit CDecoder(const CRunLengthCode& code);

        //! Writes up to `count` values to `out`; returns how many were written, fewer only
        //! when the code ended.
        std::size_t decode(std::uint16_t* out, std::size_t count);

        bool atEnd() const { return m_left == 0 && m_control == m_controlEnd; }

    private:
        bool nextRun();

        const std::uint8_t* m_control;
        const std::uint8_t* m_controlEnd;
        const std::uint16_t* m_value;
        const std::uint16_t* m_valueEnd;
        std::size_t m_left = 0;
        bool m_repeat = false;
    };

private:
    void startLiteral(std::uint16_t value);
    void encodeDifferent(std::uint16_t value);
    void encodeEqual(std::size_t count);

    std::vector<std::uint16_t> m_values;
    std::vector<std::uint8_t> m_controls;
    // Encoder state.
    std::uint16_t m_last = 0;
    int m_runLength = 0; // 0: nothing encoded yet
    bool m_repeat = false;
    bool m_failed = false;
    std::size_t m_encodedCount = 0;
};

} // namespace data
