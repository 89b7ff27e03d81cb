#pragma once
// Toolkit exceptions. Each failure is a small class nested in the class or namespace that
// raises it, whose `what` returns one fixed English sentence.

#include <exception>
#include <ostream>
#include <string>

namespace kvo::base {

class CException : public std::exception
{
public:
    ~CException() override = default;
    const char* what() const noexcept override { return "Unknown exception"; }
};

//! An exception with a message, the source file and the line that raised it.
class CFullException : public CException
{
public:
    CFullException(std::string message, std::string file, int line)
        : m_message(std::move(message)), m_file(std::move(file)), m_line(line) {}
    ~CFullException() override = default;

    const char* what() const noexcept override { return m_message.c_str(); }

    //! Writes "<FILE><LINE> Exception: MESSAGE" and an end of line.
    virtual void print(std::ostream& stream) const;

    const std::string& getFile() const { return m_file; }
    int getLine() const { return m_line; }

protected:
    void printAs(std::ostream& stream, const char* kind) const;

    std::string m_message;
    std::string m_file;
    int m_line;
};

//! A reported problem that does not stop the work.
class CWarning : public CFullException
{
public:
    using CFullException::CFullException;
    //! Writes "<FILE><LINE> Warning: MESSAGE" and an end of line.
    void print(std::ostream& stream) const override;
};

//! Prints a warning to the global log's stream.
void reportWarning(const CWarning& warning);

} // namespace kvo::base

//! Declares a failure class NAME derived from the toolkit exception with a fixed text.
#define KVO_DECLARE_EXCEPTION(NAME, TEXT)                                                 \
    class NAME : public ::kvo::base::CException                                          \
    {                                                                                    \
    public:                                                                              \
        const char* what() const noexcept override { return TEXT; }                      \
    }

namespace kvo::base::Factory {
KVO_DECLARE_EXCEPTION(CCannotCreate, "Failed to create a new object");
} // namespace kvo::base::Factory
