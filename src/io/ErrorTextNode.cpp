// The words for system errors under Node: the build's C library words these
// otherwise, or not at all, so the table holds the words of the native
// programs, for the errors of files, pipes and sockets.
#include "io/ErrorText.h"

#include <cerrno>
#include <cstring>

namespace zm::io {

const char* errorText(int err) {
    static constexpr struct {
        int err;
        const char* text;
    } native[] = {
        {EADDRINUSE, "Address already in use"},
        {EADDRNOTAVAIL, "Cannot assign requested address"},
        {EBUSY, "Device or resource busy"},
        {ECHILD, "No child processes"},
        {ECONNABORTED, "Software caused connection abort"},
        {EDEADLK, "Resource deadlock avoided"},
        {EDOM, "Numerical argument out of domain"},
        {EDQUOT, "Disk quota exceeded"},
        {EHOSTUNREACH, "No route to host"},
        {EILSEQ, "Invalid or incomplete multibyte or wide character"},
        {EINPROGRESS, "Operation now in progress"},
        {EIO, "Input/output error"},
        {EISCONN, "Transport endpoint is already connected"},
        {ELOOP, "Too many levels of symbolic links"},
        {EMFILE, "Too many open files"},
        {EMSGSIZE, "Message too long"},
        {ENAMETOOLONG, "File name too long"},
        {ENETRESET, "Network dropped connection on reset"},
        {ENETUNREACH, "Network is unreachable"},
        {ENOMEM, "Cannot allocate memory"},
        {ENOTCONN, "Transport endpoint is not connected"},
        {ENOTSOCK, "Socket operation on non-socket"},
        {ENOTTY, "Inappropriate ioctl for device"},
        {EOVERFLOW, "Value too large for defined data type"},
        {EOWNERDEAD, "Owner died"},
        {ERANGE, "Numerical result out of range"},
        {ESPIPE, "Illegal seek"},
        {ETIMEDOUT, "Connection timed out"},
        {EXDEV, "Invalid cross-device link"},
        {ETIME, "Timer expired"},
        {EREMOTE, "Object is remote"},
        {EOPNOTSUPP, "Operation not supported"},
        {ESHUTDOWN, "Cannot send after transport endpoint shutdown"},
        {EUCLEAN, "Structure needs cleaning"},
        {ENOKEY, "Required key not available"},
        {EKEYEXPIRED, "Key has expired"},
        {EKEYREVOKED, "Key has been revoked"},
        {EKEYREJECTED, "Key was rejected by service"},
    };
    for (const auto& n : native) {
        if (n.err == err) {
            return n.text;
        }
    }
    return std::strerror(err);
}

} // namespace zm::io
