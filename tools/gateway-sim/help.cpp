#include "options.h"

namespace sim {

std::string helpText() {
    return R"(Usage: telva-gateway-sim [OPTIONS]

A local stand-in for the fund's (KVB) web site and report gateway, for rehearsing the
whole road of a report with TELVA without the fund: install the fund's certificates,
send a report, follow its status, fetch and check its receipt. It serves every role on
one port; point all of TELVA's host settings at it (in ~/.config/KVB/TELVA.conf,
section [General]):
    KVBSiteHost, GateHost, DocGateHost, TestGateHost, StyleHost = 127.0.0.1:PORT

The demo fund has its own GOST R 34.10-2001 keys (root certificate and authorised
person), or GOST R 34.10-2012 ones with --gost2012, made on the first start in the state
folder and reused afterwards. Reports it
receives are kept there too, so a restarted simulator still knows them.

Served:
  GET  /                           the site's home page (the connection check)
  GET  /uc/CA_KVB_RF_2012.cer      the demo fund's root certificate (DER)
  GET  /uc/R7_KVB_RF_2012.cer      the authorised person's certificate (DER)
  POST /uploadfile                 form fields "filein", "service", "inline": decrypts
                                   the report with the authorised person's key, verifies
                                   the sender's signature (certificate inside the
                                   message), checks the root element (R7REPORT,
                                   R7AREPORT, ROWSET); answers with the identifier page
                                   or an error page
  GET  /kvb/statusreport?id=ID     "processing" for the first N requests, then accepted
                                   (a link invoice?id=ID) or rejected ("Ошибка", a link
                                   invoice?fid=ID)
  GET  /invoice?id=ID              the receipt: a ZIP with ID.htm (receipt page,
                                   windows-1251) and ID.p7m (the accepted report signed
                                   by the fund), signed by the authorised person (GOST R
                                   34.11-94, or Streebog-256) and encrypted for the sender's certificate
                                   (GOST 28147-89, CryptoPro-A)
  GET  /invoice?fid=ID             the error protocol of a rejected report
  GET  /template/2010/6/r7form.xsl the display stylesheet of accepted reports
Everything above is also served under /moved/..., the target of --redirect.

A report is rejected when it contains the text SIM-REJECT anywhere (for example in an
attribute or a comment), or when --reject-all is given.

Options:
  --port N               port to listen on (default 8080); 0 picks a free port.
                         The line "listening on HOST:PORT" goes to stdout.
  --host ADDR            address to listen on (default 127.0.0.1)
  --state DIR            state folder: the demo fund's keys and the received reports
                         (default $XDG_STATE_HOME/telva-gateway-sim)
  --log FILE             append the request log to FILE instead of stderr
  --processing N         answer "processing" to the first N status requests of each
                         report (default 1)
  --reject-all           reject every report (the status page lists its errors)
  --gost2012             run the demo PKI with GOST R 34.10-2012 (256-bit) keys and
                         Streebog: the fund's certificates, its receipts' signatures and
                         --issue-personal; uploads signed with either kind are checked
  --tls                  serve everything over HTTPS: TLS 1.2 with the GOST suites
                         (GOST2012-KUZNYECHIK-KUZNYECHIKOMAC, GOST2012-MAGMA-MAGMAOMAC,
                         GOST2012-GOST8912-GOST8912) and a GOST R 34.10-2012 server
                         certificate issued at each start for HOST, 127.0.0.1 and
                         localhost by the demo site authority (tls/ca-gost.cer in the
                         state folder, made on first use); the hosts then carry the
                         scheme: GateHost=https://127.0.0.1:PORT. TELVA trusts the site
                         once that authority is in its store "Root"
  --tls-rsa              the same with an RSA server certificate (authority
                         tls/ca-rsa.cer) and OpenSSL's usual suites

Faults (PATH is a request path such as /invoice, "PREFIX*" for a prefix, "*" for all;
COUNT limits a fault to the first COUNT matching requests; every option may repeat):
  --delay [PATH=]MS[:COUNT]     wait MS milliseconds before answering
  --fail [PATH=]CODE[:COUNT]    answer with the HTTP status CODE (400-599)
  --redirect PATH[=CODE][:COUNT]
                                redirect (default 302; use 307 to keep a POST) to the
                                same address under /moved
  --require-cookie              the site root sets the cookie KVBSESSION; any other
                                request without it (except the certificate files) is
                                refused with 403
  --base64-certs                serve the certificate files as Base64 (PEM) text
  --status-cp1251               send status pages in windows-1251 instead of UTF-8
  --truncate-receipt BYTES      cut the served receipt to BYTES bytes
  --truncate-zip BYTES          cut the receipt's ZIP to BYTES bytes before it is
                                signed and encrypted (a receipt that checks but whose
                                archive is incomplete)
  --identifier FORM             how the upload answer gives the identifier:
                                  normal      XXXX-XXXX-XXXX (default)
                                  short       8 characters, no hyphens
                                  no-hyphens  12 characters, no hyphens
                                  hostile     "../.-../.-../../" + identifier, a path
                                              that leaves the report archive
                                  long        more than 128 characters
                                  no-tahoma   the span tag does not end in Tahoma">
                                  both-spans  an error span beside the identifier
                                The status and receipt of a report answer to the served
                                identifier as well as to the real one.

Demo keys:
  --issue-personal DIR   issue a personal GOST certificate under the demo root (with
                         the fund's registration attributes) and write personal.key
                         (PKCS#8 PEM), personal.cer (DER) and personal.pem into DIR;
                         then exit
  --personal-name TEXT   its common name
  --personal-org TEXT    its organisation
  --personal-reg NUMBER  its registration number (1.2.643.3.141.1.1)

Inspection:
  --list-received        print every report received so far in the state folder, one
                         line each: identifier, SHA-256 of the uploaded file, SHA-256 of
                         the signed content, time received; then exit

  -h, --help             this text

Stop it with Ctrl+C or SIGTERM.
)";
}

} // namespace sim
