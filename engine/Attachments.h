#pragma once
// Attachments and inline images of a message: the record of one filed attachment, and the file
// name an attachment may be given in the temporary folder.

#include <boost/shared_ptr.hpp>

#include "foundation/QuilString.h"

// One attachment filed by the message: an inline image (found by "cid:" and its content id, or
// by its content location) or a printable attachment (found by its file name).
// The columns of CMessage::getAttachmentRows, in this order.
enum AttachmentColumn : ULONG {
  kColDisplayName,
  kColFileName,
  kColLongFileName,
  kColPathName,
  kColLongPathName,
  kColMethod,
  kColNumber,
  kColContentId,
  kColContentLocation,
  kColFlags,
  kColDisposition,
  kAttachmentColumnCount
};

struct AttachmentData {
  quilstring name;
  quilstring filePath;     // the file holding the attachment's data
  bool temporary = false;  // written by the message, deleted with it
};
using AttachmentDataPtr = boost::shared_ptr<AttachmentData>;

// The longest file name (in UTF-16 units) an attachment is given; leaves room for a counter and
// keeps the name within 255 bytes of UTF-8.
inline constexpr std::size_t kMaxAttachmentFileName = 80;

// An attachment's name (from the message: untrusted) as it is shown: without the characters that
// turn the direction of the text after them (U+202A-U+202E, U+2066-U+2069, U+200E, U+200F), so a
// name cannot reverse the rest of the line it stands in.
quilstring displayAttachmentName(const quilstring& name);

// A file name made from an attachment's name (from the message: untrusted) that stays inside the
// folder it is put in: the last path component only; < > : " / \ | ? * and control characters
// become '_'; direction controls go (as in displayAttachmentName); trailing dots and blanks go;
// Windows device names (CON, NUL, COM1 ...) get a '_' in front; over-long names are cut, keeping
// the extension; "." and ".." and what ends up empty become "attachment". Letters of any script
// are kept.
quilstring safeAttachmentFileName(const quilstring& name);

// A content id as the message stores it ("<id>" or "id") as a "cid:" reference names it.
quilstring bareContentId(const quilstring& contentId);
