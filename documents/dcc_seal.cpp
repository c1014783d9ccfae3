#include "documents/dcc_seal.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include <filesystem>
#include <memory>
#include <mutex>

#include <libxml/tree.h>
#include <xmlsec/crypto.h>
#include <xmlsec/io.h>
#include <xmlsec/templates.h>
#include <xmlsec/xmldsig.h>
#include <xmlsec/xmlsec.h>

namespace trimwell {
namespace {

// The seal's reference is the DCC's bare file name, which xmlsec would open from the
// process's working folder: while a seal is made, such a name is opened from the
// DCC's own folder instead. One seal at a time.
std::mutex sealing;
std::string sealFolder;  // under `sealing`

int bareNameMatch(const char* uri) {
  return uri != nullptr && !sealFolder.empty() && std::strchr(uri, '/') == nullptr && std::strchr(uri, ':') == nullptr;
}
void* bareNameOpen(const char* uri) { return std::fopen((sealFolder + "/" + uri).c_str(), "rb"); }
int bareNameRead(void* file, char* buffer, int length) {
  return static_cast<int>(std::fread(buffer, 1, static_cast<std::size_t>(length), static_cast<std::FILE*>(file)));
}
int bareNameClose(void* file) { return std::fclose(static_cast<std::FILE*>(file)); }

// Once per process, and kept: every seal of the run uses it.
bool xmlsecReady() {
  static bool ready = false;
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    ready = xmlSecInit() >= 0 && xmlSecCheckVersion() == 1 && xmlSecCryptoAppInit(nullptr) >= 0 &&
            xmlSecCryptoInit() >= 0 &&
            xmlSecIORegisterCallbacks(bareNameMatch, bareNameOpen, bareNameRead, bareNameClose) >= 0;
  });
  return ready;
}

struct DocFree {
  void operator()(xmlDocPtr d) const { xmlFreeDoc(d); }
};
struct ContextFree {
  void operator()(xmlSecDSigCtxPtr c) const { xmlSecDSigCtxDestroy(c); }
};

const xmlChar* x(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

// Signs the template with the lab's key, its certificate in KeyInfo.
bool sign(xmlNodePtr signature, const Laboratory& lab, const std::string& dccPath, std::string& problem);

}  // namespace

std::string sealProblem(const Laboratory& lab) {
  if (lab.sealKeyFile.empty() && lab.sealCertificateFile.empty()) return {};
  if (lab.sealKeyFile.empty() || lab.sealCertificateFile.empty()) {
    return "The laboratory's seal needs both its key and its certificate (PEM files); only one is set";
  }
  for (const std::string* file : {&lab.sealKeyFile, &lab.sealCertificateFile}) {
    struct stat st {};
    if (stat(file->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "The seal file " + *file + " is not there";
  }
  struct stat key {};
  stat(lab.sealKeyFile.c_str(), &key);
  // A key every user of the computer can read seals for anyone: it is not used.
  if ((key.st_mode & S_IROTH) != 0) {
    return "The seal key " + lab.sealKeyFile + " can be read by every user of this computer; make it readable only "
           "by those who may seal for the laboratory (chmod o-r)";
  }
  return {};
}

bool sealDccFile(const std::string& dccPath, const Laboratory& lab, std::string& problem) {
  if (lab.sealKeyFile.empty() && lab.sealCertificateFile.empty()) return true;
  problem = sealProblem(lab);
  if (!problem.empty()) return false;
  if (!xmlsecReady()) {
    problem = "The XML signature library cannot be started: the DCC is not sealed";
    return false;
  }
  const std::string sigPath = dccPath + ".sig";
  std::unique_ptr<xmlDoc, DocFree> doc(xmlNewDoc(x("1.0")));
  xmlNodePtr signature =
      xmlSecTmplSignatureCreate(doc.get(), xmlSecTransformExclC14NId, xmlSecTransformRsaSha256Id, nullptr);
  xmlDocSetRootElement(doc.get(), signature);
  // By file name: the seal goes with the DCC beside it, wherever the two are put.
  const std::string name = std::filesystem::path(dccPath).filename().string();
  xmlSecTmplSignatureAddReference(signature, xmlSecTransformSha256Id, nullptr, x(name), nullptr);
  xmlSecTmplKeyInfoAddX509Data(xmlSecTmplSignatureEnsureKeyInfo(signature, nullptr));
  const std::lock_guard one(sealing);
  sealFolder = std::filesystem::absolute(dccPath).parent_path().string();
  const bool sealed = sign(signature, lab, dccPath, problem);
  sealFolder.clear();
  if (!sealed) return false;
  if (xmlSaveFormatFileEnc(sigPath.c_str(), doc.get(), "UTF-8", 1) < 0) {
    problem = "cannot write " + sigPath;
    return false;
  }
  return true;
}

namespace {

bool sign(xmlNodePtr signature, const Laboratory& lab, const std::string& dccPath, std::string& problem) {
  std::unique_ptr<xmlSecDSigCtx, ContextFree> context(xmlSecDSigCtxCreate(nullptr));
  if (context == nullptr) {
    problem = "The DCC cannot be sealed: no signature context";
    return false;
  }
  context->signKey = xmlSecCryptoAppKeyLoad(lab.sealKeyFile.c_str(), xmlSecKeyDataFormatPem, nullptr, nullptr, nullptr);
  if (context->signKey == nullptr ||
      xmlSecCryptoAppKeyCertLoad(context->signKey, lab.sealCertificateFile.c_str(), xmlSecKeyDataFormatPem) < 0) {
    problem = "The seal key " + lab.sealKeyFile + " or its certificate " + lab.sealCertificateFile +
              " cannot be read as PEM";
    return false;
  }
  if (xmlSecDSigCtxSign(context.get(), signature) < 0) {
    problem = "The DCC " + dccPath + " cannot be sealed";
    return false;
  }
  return true;
}

}  // namespace

}  // namespace trimwell
