# Sourced by the benchmark scripts. bench_nginx WORK HTTP_DIRECTIVES SERVER_DIRECTIVES starts
# nginx on a free loopback port with WORK/www as its root and its files under WORK; it sets
# PORT and NGINX_PID (the caller's cleanup stops it).
bench_nginx() {
  local work=$1 http=$2 server=$3 user_line=""
  mkdir -p "$work/www" "$work/logs" "$work/tmp"
  PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  [ "$(id -u)" = 0 ] && user_line="user root;"
  cat > "$work/nginx.conf" <<CONF
$user_line
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/logs/error.log warn;
events { worker_connections 1024; }
http {
  $http
  client_body_temp_path $work/tmp/body; proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fcgi; uwsgi_temp_path $work/tmp/uwsgi; scgi_temp_path $work/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$PORT;
    root $work/www;
    $server
  }
}
CONF
  nginx -p "$work/" -c "$work/nginx.conf" -e "$work/logs/error.log" &
  NGINX_PID=$!
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
    sleep 0.05
  done
}
