// The few pieces of the class library the components rely on: the exception
// hierarchy with the library's own (German) messages, and the persistence
// base whose CopyFrom is the assignment between published objects.
#pragma once

#include <stdexcept>
#include <string>

namespace rtl {

// Base of every error the program raises; the message is UTF-8 text.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Assignment between unrelated persistent classes.
class EConvertError : public Exception {
    using Exception::Exception;
};
// Index outside a list.
class EListError : public Exception {
    using Exception::Exception;
};
// A file that cannot be opened or created.
class EFOpenError : public Exception {
    using Exception::Exception;
};
class EFCreateError : public Exception {
    using Exception::Exception;
};
// Reading or writing a file failed half-way.
class EInOutError : public Exception {
    using Exception::Exception;
};

// Replaces each "%s" of a message template, in order, by the given texts.
std::string FormatMessage(const std::string& templ, std::initializer_list<std::string> args);

std::string AssignErrorMessage(const std::string& sourceClass, const std::string& destClass);
std::string FileOpenErrorMessage(const std::string& fileName);
std::string FileCreateErrorMessage(const std::string& fileName);
std::string ListIndexErrorMessage(long index);

// Base of the objects that can be assigned to one another.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual std::string ClassName() const = 0;
    // Copies what this class knows of `source`; a source of another class
    // (or none) fails with the library's conversion error.
    virtual void CopyFrom(const TPersistent* source);

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;
};

}  // namespace rtl
