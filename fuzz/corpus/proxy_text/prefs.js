user_pref("network.proxy.http", "proxy.example");
user_pref("network.proxy.http_port", 3128);
user_pref("network.proxy.type", 1);
